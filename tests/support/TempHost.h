#pragma once
// A hermetic world for one test: a temporary folder holding the home folder, the settings
// store, a Wine-style drive folder with C: linked, and the registry file. The environment
// points at it while the object lives.

#include <functional>
#include <string>
#include <vector>

// The drive that stands for the test host's folder, to write Windows paths with: C: on POSIX
// (a link in the test's own dosdevices), a spare letter mapped to the folder on Windows.
#ifdef _WIN32
#define TEST_DRIVE "T:"
#define TEST_DRIVE_LOWER "t:"
#else
#define TEST_DRIVE "C:"
#define TEST_DRIVE_LOWER "c:"
#endif

#ifndef _WIN32
// Runs `work` in this process and at the same moment in a second one (a fork), as two programs
// would; returns the failures both counted (a second process that dies counts one more).
int InTwoProcessesAtOnce(const std::function<int()>& work);
#endif

class TempHost {
public:
    TempHost();
    ~TempHost();
    TempHost(const TempHost&) = delete;
    TempHost& operator=(const TempHost&) = delete;

    // Native folders.
    const std::string& Root() const { return root_; }
    const std::string& DriveC() const { return driveC_; }
    // The native path of a path relative to drive C ("Stelmar/Maps/a.inf").
    std::string OnC(const std::string& relative) const { return driveC_ + "/" + relative; }

    // Links a drive letter to a native folder (creating the folder).
    void LinkDrive(char letter, const std::string& nativeFolder);
    // Writes a file (creating its folders); bytes are written as given.
    static void Write(const std::string& nativePath, const std::string& bytes);
    static std::string Read(const std::string& nativePath);
    static bool Exists(const std::string& nativePath);
    static void MakeFolder(const std::string& nativePath);
    // Hidden and read-only as the system says it: on POSIX a name starting with '.' is hidden
    // already and read-only is no write bit; on Windows both are the file's attributes.
    static void Hide(const std::string& nativePath);
    static void MakeReadOnly(const std::string& nativePath);
    // The bytes of a valid uncompressed BMP picture of this size (grey), for tests without Qt.
    static std::string Bmp(int width, int height);
    // The settings file of an application, written by hand.
    void WriteSettings(const std::string& application, const std::string& iniText);
    // Creates C:\Stelmar\Maps and records C:\Stelmar as the host's folder.
    std::string MakeHost(const std::string& folderValue = "C:\\Stelmar");

private:
    static void Empty(const std::string& drive); // Windows: everything but the drive's marker
    std::string root_, driveC_;
    std::vector<std::pair<std::string, std::string>> savedEnv_;
};
