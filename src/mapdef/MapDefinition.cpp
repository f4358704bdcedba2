#include "mapdef/MapCode.h"
#include "mapdef/Numbers.h"

#include "platform/FileIO.h"
#include "platform/Text.h"

namespace MapCode {

namespace {
bool IsComment(const std::string& line) {
    return !line.empty() && line[0] == ';';
}
// A name the image name rule completes, rather than using it as it is.
bool NeedsCompletion(const std::string& name) {
    return name.find('.') == std::string::npos;
}
} // namespace

void ParseDefinition(Platform::TextReader& file,
                     const std::function<bool(int index, const std::string& line)>& onDataLine,
                     DefinitionComments* comments) {
    int dataLines = 0;
    bool wanted = true;
    while (!file.Eof()) {
        std::string line = file.ReadLine();
        if (IsComment(line)) {
            if (comments) (*comments)[std::size_t(std::min(dataLines, 3))].push_back(line);
            continue;
        }
        if (dataLines == 3 || !wanted) {
            // Data lines after the third are never used; the comments after them still are.
            if (!comments) return;
            continue;
        }
        wanted = onDataLine(dataLines, line);
        ++dataLines;
        if ((dataLines == 3 || !wanted) && !comments) return;
    }
}

namespace {

// The reader's rules over the parser's lines; `open` makes the reader (a file, or bytes in
// memory) inside the catch.
template <class Open> bool Read(Open open, const std::string& folder, MapDefinition& d) {
    bool ok = true;
    try {
        Platform::TextReader file = open();
        ParseDefinition(file, [&](int index, const std::string& raw) {
            if (index == 2) { // the image name keeps its case
                const std::string line = ImageNameOfLine(raw);
                d.imageLine = line;
                d.imageName = CompleteImageName(folder, line);
                ++d.lines;
                return false;
            }
            std::string line = Platform::Upper(TrimSpaces(raw));
            const std::size_t comma = line.find(',');
            if (comma != std::string::npos)
                line = TrimSpaces(line.substr(0, comma)) + "," + TrimSpaces(line.substr(comma + 1));
            const bool topLeft = index == 0;
            const char* corner = topLeft ? "top-left" : "bottom-right";
            (topLeft ? d.topLeftText : d.bottomRightText) = line;
            try {
                if (!ParsePosition(line, topLeft ? d.topLeftLongitude : d.bottomRightLongitude,
                                   topLeft ? d.topLeftLatitude : d.bottomRightLatitude)) {
                    d.cornerError = std::string("the ") + corner + " corner \"" + line +
                                    "\" is not a latitude and a longitude separated by a comma";
                    ok = false;
                    return false;
                }
            } catch (const CoreError& e) {
                d.cornerError = std::string("the ") + corner + " corner \"" + line +
                                "\" cannot be read (" + e.Description() + ")";
                ok = false;
                return false;
            }
            ++d.lines;
            return true;
        });
        return ok;
    } catch (const CoreError& e) {
        if (e.Kind() == ErrorKind::FileError) d.fileError = e.Description();
        return false;
    } catch (...) {
        return false;
    }
}

} // namespace

bool ReadDefinition(const std::string& folder, const std::string& path, MapDefinition& definition) {
    return definition.ok = Read([&] { return Platform::TextReader(path, kMaxDefinitionBytes); },
                                folder, definition);
}

bool ReadDefinitionNative(const std::string& folder, const std::string& nativePath,
                          MapDefinition& definition) {
    return definition.ok = Read(
               [&] {
                   return Platform::TextReader(Platform::TextReader::NativeFile{}, nativePath,
                                               kMaxDefinitionBytes);
               },
               folder, definition);
}

bool ReadDefinitionBytes(const std::string& folder, const std::string& bytes,
                         MapDefinition& definition) {
    return definition.ok = Read(
               [&] {
                   return Platform::TextReader(Platform::TextReader::InMemory{}, bytes,
                                               kMaxDefinitionBytes);
               },
               folder, definition);
}

bool ReadMapDefinition(const std::string& folder, const std::string& path, float& topLeftLongitude,
                       float& topLeftLatitude, float& bottomRightLongitude,
                       float& bottomRightLatitude, std::string& imageName, std::string& topLeftText,
                       std::string& bottomRightText, std::string* fileError) {
    // Outputs whose line is not reached keep the caller's values: they start from them.
    MapDefinition d;
    d.topLeftLongitude = topLeftLongitude;
    d.topLeftLatitude = topLeftLatitude;
    d.bottomRightLongitude = bottomRightLongitude;
    d.bottomRightLatitude = bottomRightLatitude;
    d.imageName = imageName;
    d.topLeftText = topLeftText;
    d.bottomRightText = bottomRightText;
    const bool ok = ReadDefinition(folder, path, d);
    topLeftLongitude = d.topLeftLongitude;
    topLeftLatitude = d.topLeftLatitude;
    bottomRightLongitude = d.bottomRightLongitude;
    bottomRightLatitude = d.bottomRightLatitude;
    imageName = std::move(d.imageName);
    topLeftText = std::move(d.topLeftText);
    bottomRightText = std::move(d.bottomRightText);
    if (fileError && !d.fileError.empty()) *fileError = d.fileError;
    return ok;
}

std::string CompleteImageName(const std::string& folder, const std::string& name) {
    if (!NeedsCompletion(name)) return name;
    for (const char* extension : {".gif", ".bmp", ".jpg"}) {
        // Joined with a backslash even when the folder ends in one: the doubled separator is
        // read as one.
        if (FileExists(folder + "\\" + name + extension)) return name + extension;
    }
    return {};
}

std::array<std::string, 4> CornerTexts(const Georeference& georeference) {
    std::array<std::string, 4> texts;
    FormatPosition(georeference.TopLeftLatitude(), georeference.TopLeftLongitude(), texts[0],
                   texts[1]);
    FormatPosition(georeference.BottomRightLatitude(), georeference.BottomRightLongitude(),
                   texts[2], texts[3]);
    return texts;
}

std::vector<std::string>
DefinitionLines(const std::string& topLeftLatitude, const std::string& topLeftLongitude,
                const std::string& bottomRightLatitude, const std::string& bottomRightLongitude,
                const std::string& imageName, const DefinitionComments& comments) {
    if (const std::string why = ImageNameProblem(imageName); !why.empty())
        throw CoreError(ErrorKind::InvalidArgument,
                        "The picture name \"" + imageName + "\" would not read back: " + why);
    const std::string data[] = {topLeftLatitude + "," + topLeftLongitude,
                                bottomRightLatitude + "," + bottomRightLongitude, imageName};
    std::vector<std::string> lines;
    for (int i = 0; i < 3; ++i) {
        lines.insert(lines.end(), comments[std::size_t(i)].begin(), comments[std::size_t(i)].end());
        lines.push_back(data[i]);
    }
    lines.insert(lines.end(), comments[3].begin(), comments[3].end());
    return lines;
}

std::string ImageNameOfLine(const std::string& line) {
    return TrimSpaces(line);
}

std::string ImageNameProblem(const std::string& name) {
    if (name.empty()) return "a definition needs a picture name";
    if (name.find_first_of("\r\n") != std::string::npos)
        return "a line end in it would end the definition's line";
    if (IsComment(name)) return "a line starting with ';' is read as a comment";
    if (ImageNameOfLine(name) != name)
        return "the spaces at its start or end are trimmed on reading";
    if (NeedsCompletion(name))
        return "a name without '.' is completed with .gif, .bmp or .jpg on reading";
    if (name.size() > Platform::kMaxLineLength) return "it is longer than a line may be";
    return {};
}

void WriteMapDefinition(const std::string& path, const std::string& topLeftLatitude,
                        const std::string& topLeftLongitude, const std::string& bottomRightLatitude,
                        const std::string& bottomRightLongitude, const std::string& imageName,
                        const DefinitionComments& comments) {
    Platform::WriteTextLines(path,
                             DefinitionLines(topLeftLatitude, topLeftLongitude, bottomRightLatitude,
                                             bottomRightLongitude, imageName, comments));
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
    ParseDefinition(
        file,
        [&](int index, const std::string& line) {
            if (index == 2) {
                onItem(4, CompleteImageName(folder, EditorText(line)));
            } else {
                const std::size_t comma = line.find(',');
                onItem(index * 2, EditorText(line.substr(0, comma)));
                onItem(index * 2 + 1, comma == std::string::npos
                                          ? std::string()
                                          : EditorText(line.substr(comma + 1)));
            }
            ++dataLines;
            return true;
        },
        &comments);
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
