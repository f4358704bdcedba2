#include "mapdef/MapCode.h"
#include "mapdef/Numbers.h"

#include "platform/FileIO.h"
#include "platform/Text.h"

namespace MapCode {

namespace {

// The reader's steps; `open` makes the reader (a file, or bytes in memory) inside the catch.
template <class Open>
bool ReadDefinition(Open open, const std::string& folder, float& topLeftLongitude,
                    float& topLeftLatitude, float& bottomRightLongitude, float& bottomRightLatitude,
                    std::string& imageName, std::string& topLeftText, std::string& bottomRightText,
                    std::string* fileError) {
    try {
        Platform::TextReader file = open();
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
    } catch (const CoreError& e) {
        if (fileError && e.Kind() == ErrorKind::FileError) *fileError = e.Description();
        return false;
    } catch (...) {
        return false;
    }
}

} // namespace

bool ReadMapDefinition(const std::string& folder, const std::string& path, float& topLeftLongitude,
                       float& topLeftLatitude, float& bottomRightLongitude,
                       float& bottomRightLatitude, std::string& imageName, std::string& topLeftText,
                       std::string& bottomRightText, std::string* fileError) {
    return ReadDefinition([&] { return Platform::TextReader(path, kMaxDefinitionBytes); }, folder,
                          topLeftLongitude, topLeftLatitude, bottomRightLongitude,
                          bottomRightLatitude, imageName, topLeftText, bottomRightText, fileError);
}

bool ReadMapDefinitionBytes(const std::string& folder, const std::string& bytes,
                            float& topLeftLongitude, float& topLeftLatitude,
                            float& bottomRightLongitude, float& bottomRightLatitude,
                            std::string& imageName, std::string& topLeftText,
                            std::string& bottomRightText) {
    return ReadDefinition(
        [&] {
            return Platform::TextReader(Platform::TextReader::InMemory{}, bytes,
                                        kMaxDefinitionBytes);
        },
        folder, topLeftLongitude, topLeftLatitude, bottomRightLongitude, bottomRightLatitude,
        imageName, topLeftText, bottomRightText, nullptr);
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
                        const std::string& bottomRightLongitude, const std::string& imageName,
                        const DefinitionComments& comments) {
    const std::string data[] = {topLeftLatitude + "," + topLeftLongitude,
                                bottomRightLatitude + "," + bottomRightLongitude, imageName};
    std::vector<std::string> lines;
    for (int i = 0; i < 3; ++i) {
        lines.insert(lines.end(), comments[std::size_t(i)].begin(), comments[std::size_t(i)].end());
        lines.push_back(data[i]);
    }
    lines.insert(lines.end(), comments[3].begin(), comments[3].end());
    Platform::WriteTextLines(path, lines);
}

namespace {
// One half of a corner line as the editor shows it: without the spaces around it, and without
// the quotes of a quoted text.
std::string EditorText(const std::string& text) {
    std::string t = TrimSpaces(text);
    if (t.size() >= 2 && t.front() == '"' && t.back() == '"') t = t.substr(1, t.size() - 2);
    return t;
}

DefinitionComments
ReadEditorLines(Platform::TextReader& file, const std::string& folder,
                const std::function<void(int index, const std::string& item)>& onItem) {
    DefinitionComments comments;
    int dataLines = 0;
    while (!file.Eof()) {
        const std::string line = file.ReadLine();
        if (!line.empty() && line[0] == ';') {
            comments[std::size_t(dataLines)].push_back(line);
            continue;
        }
        if (dataLines == 3) continue; // further data lines are never read, nor kept
        if (dataLines == 2) {
            onItem(4, CompleteImageName(folder, EditorText(line)));
        } else {
            const std::size_t comma = line.find(',');
            onItem(dataLines * 2, EditorText(line.substr(0, comma)));
            onItem(dataLines * 2 + 1,
                   comma == std::string::npos ? std::string() : EditorText(line.substr(comma + 1)));
        }
        ++dataLines;
    }
    if (dataLines < 3)
        throw CoreError(ErrorKind::InputPastEnd,
                        "Input past end of file: the definition holds " +
                            std::to_string(dataLines) +
                            " of its three lines (two corners and the image name)");
    return comments;
}

} // namespace

DefinitionComments
ReadEditorItems(const std::string& path, const std::string& folder,
                const std::function<void(int index, const std::string& item)>& onItem) {
    Platform::TextReader file(path, kMaxDefinitionBytes);
    return ReadEditorLines(file, folder, onItem);
}

DefinitionComments
ReadEditorItemsBytes(const std::string& bytes, const std::string& folder,
                     const std::function<void(int index, const std::string& item)>& onItem) {
    Platform::TextReader file(Platform::TextReader::InMemory{}, bytes, kMaxDefinitionBytes);
    return ReadEditorLines(file, folder, onItem);
}

} // namespace MapCode
