#include "mapdef/MapCode.h"
#include "mapdef/Numbers.h"

#include "platform/FileIO.h"
#include "platform/Text.h"

namespace MapCode {

bool ReadMapDefinition(const std::string& folder, const std::string& path, float& topLeftLongitude,
                       float& topLeftLatitude, float& bottomRightLongitude,
                       float& bottomRightLatitude, std::string& imageName, std::string& topLeftText,
                       std::string& bottomRightText) {
    try {
        Platform::TextReader file(path);
        int dataLines = 0;
        while (!file.Eof()) {
            std::string line = file.ReadLine();
            if (!line.empty() && line[0] == ';') continue;
            line = TrimSpaces(line);
            if (dataLines == 2) { // the image name keeps its case
                imageName = CompleteImageName(folder, line);
                return true; // nothing after the third data line is read
            }
            line = Platform::Upper(line);
            const std::size_t comma = line.find(',');
            if (comma != std::string::npos)
                line = TrimSpaces(line.substr(0, comma)) + "," + TrimSpaces(line.substr(comma + 1));
            const bool topLeft = dataLines == 0;
            (topLeft ? topLeftText : bottomRightText) = line;
            if (!ParsePosition(line, topLeft ? topLeftLongitude : bottomRightLongitude,
                               topLeft ? topLeftLatitude : bottomRightLatitude))
                return false;
            ++dataLines;
        }
        return true;
    } catch (...) {
        return false;
    }
}

std::string CompleteImageName(const std::string& folder, const std::string& name) {
    if (name.find('.') != std::string::npos) return name;
    for (const char* extension : {".gif", ".bmp", ".jpg"}) {
        // Joined with a backslash even when the folder ends in one: the doubled separator is
        // read as one.
        if (FileExists(folder + "\\" + name + extension)) return name + extension;
    }
    return {};
}

void WriteMapDefinition(const std::string& path, const std::string& topLeftLatitude,
                        const std::string& topLeftLongitude, const std::string& bottomRightLatitude,
                        const std::string& bottomRightLongitude, const std::string& imageName) {
    Platform::WriteTextLines(path, {topLeftLatitude + "," + topLeftLongitude,
                                    bottomRightLatitude + "," + bottomRightLongitude, imageName});
}

void ReadEditorItems(const std::string& path, const std::string& folder,
                     const std::function<void(int index, const std::string& item)>& onItem) {
    Platform::TextReader file(path);
    for (int i = 0; i < 5; ++i) {
        std::string item;
        try {
            item = file.ReadItem();
        } catch (const CoreError& e) {
            if (e.Kind() != ErrorKind::InputPastEnd) throw;
            throw CoreError(ErrorKind::InputPastEnd,
                            "Input past end of file: the definition holds " + std::to_string(i) +
                                " of its five items (two corners and the image name)");
        }
        onItem(i, i == 4 ? CompleteImageName(folder, item) : item);
    }
}

} // namespace MapCode
