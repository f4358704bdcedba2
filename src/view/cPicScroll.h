#pragma once
// The picture scroller: fits two scroll bars to a picture and moves the picture to their
// values. It keeps no state. Ranges and steps are 32-bit, so large scanned maps scroll.

#include <cstdint>

class ScrollBar;
class PictureBox;

class cPicScroll {
public:
    // Sets Max, SmallChange and LargeChange of both bars, vertical first. The first value a bar
    // refuses ends it with CoreError; the steps already done stay done.
    void SetUpScrollBars(ScrollBar& H_SB, ScrollBar& V_SB, std::int32_t lVer_MaxLen,
                         std::int32_t iVer_SmallChange, std::int32_t lVer_LargeChange,
                         std::int32_t lHor_MaxLen, std::int32_t iHor_SmallChange,
                         std::int32_t lHor_LargeChange);
    // The picture's top (left) becomes minus the bar's value.
    void MoveV(ScrollBar& V_SB, PictureBox& pic);
    void MoveH(ScrollBar& H_SB, PictureBox& pic);

    // The scroll-range rule: Max = picture size - frame size (full sizes, borders included),
    // small steps 80 (vertical) and 40 (horizontal), pages a third of the picture's height and
    // half its width, each rounded half to even; steps are at least 1.
    void FitScrollBars(ScrollBar& H_SB, ScrollBar& V_SB, const PictureBox& inner,
                       const PictureBox& outer);
};
