#include "view/cPicScroll.h"

#include "mapdef/Numbers.h"
#include "view/PictureBox.h"
#include "view/ScrollBar.h"

#include <algorithm>

void cPicScroll::SetUpScrollBars(ScrollBar& H_SB, ScrollBar& V_SB, std::int32_t lVer_MaxLen,
                                 std::int32_t iVer_SmallChange, std::int32_t lVer_LargeChange,
                                 std::int32_t lHor_MaxLen, std::int32_t iHor_SmallChange,
                                 std::int32_t lHor_LargeChange) {
    V_SB.setMax(lVer_MaxLen);
    V_SB.setSmallChange(iVer_SmallChange);
    V_SB.setLargeChange(lVer_LargeChange);
    H_SB.setMax(lHor_MaxLen);
    H_SB.setSmallChange(iHor_SmallChange);
    H_SB.setLargeChange(lHor_LargeChange);
}

void cPicScroll::MoveV(ScrollBar& V_SB, PictureBox& pic) {
    Twips::SetTop(&pic, -static_cast<float>(V_SB.Value()));
}

void cPicScroll::MoveH(ScrollBar& H_SB, PictureBox& pic) {
    Twips::SetLeft(&pic, -static_cast<float>(H_SB.Value()));
}

void cPicScroll::FitScrollBars(ScrollBar& H_SB, ScrollBar& V_SB, const PictureBox& inner,
                               const PictureBox& outer) {
    const float Hi = inner.Height(), Ho = outer.Height();
    const float Wi = inner.Width(), Wo = outer.Width();
    using MapCode::RoundToInt32;
    const std::int32_t hLarge = std::max(1, RoundToInt32(Wi / 2.0));
    const std::int32_t hMax = RoundToInt32(double(Wi) - double(Wo));
    const std::int32_t vLarge = std::max(1, RoundToInt32(Hi / 3.0));
    const std::int32_t vMax = RoundToInt32(double(Hi) - double(Ho));
    SetUpScrollBars(H_SB, V_SB, vMax, 80, vLarge, hMax, 40, hLarge);
}
