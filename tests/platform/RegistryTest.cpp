#include "platform/Registry.h"
#include "support/TempHost.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace Platform;

namespace {
const char* const kKey = "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";

struct Read {
    long open = -1, query = -1;
    std::uint32_t type = 0, size = 0;
    std::string data;
};

Read Query(const char* key, const char* value, std::uint32_t access = KEY_READ,
           std::uint32_t bufferSize = 1024) {
    Read r;
    HKEY h = 0;
    r.open = RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, access, &h);
    if (r.open != ERROR_SUCCESS) return r;
    std::string buf(bufferSize, '\0');
    r.size = bufferSize;
    r.query = RegQueryValueExA(h, value, nullptr, &r.type,
                               reinterpret_cast<unsigned char*>(buf.data()), &r.size);
    if (r.query == ERROR_SUCCESS) r.data = buf.substr(0, r.size);
    EXPECT_EQ(RegCloseKey(h), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(h), ERROR_INVALID_HANDLE); // closed once only
    return r;
}
} // namespace

TEST(Registry, ReadsTheValueKindsOfAnExport) {
    TempHost host;
    TempHost::Write(host.Root() + "/registry.reg",
                    "REGEDIT4\r\n\r\n"
                    "; a comment\r\n"
                    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shared Tools\\MSINFO]\r\n"
                    "\"PATH\"=\"C:\\\\Program Files\\\\say \\\"hi\\\".exe\"\r\n"
                    "\"Count\"=dword:0000002a\r\n"
                    "\"Raw\"=hex(1):41,42,00\r\n"
                    "\"Long\"=hex:01,02,\\\r\n    03,04\r\n"
                    "@=\"default\"\r\n"
                    "\"Broken\"=dword:zz\r\n"
                    "\"Broken2\"=\"unterminated\r\n");
    struct Case {
        const char* value;
        long query;
        std::uint32_t type;
        std::string data;
    };
    const std::string kPath = std::string("C:\\Program Files\\say \"hi\".exe") + '\0';
    const Case cases[] = {
        {"PATH", ERROR_SUCCESS, REG_SZ, kPath},
        {"path", ERROR_SUCCESS, REG_SZ, kPath},
        {"Count", ERROR_SUCCESS, REG_DWORD, std::string("\x2a\0\0\0", 4)},
        {"Raw", ERROR_SUCCESS, REG_SZ, std::string("AB\0", 3)},
        {"Long", ERROR_SUCCESS, REG_BINARY, "\x01\x02\x03\x04"},
        {"", ERROR_SUCCESS, REG_SZ, std::string("default\0", 8)},
        {"Broken", ERROR_FILE_NOT_FOUND, 0, ""},
        {"Broken2", ERROR_FILE_NOT_FOUND, 0, ""},
        {"Missing", ERROR_FILE_NOT_FOUND, 0, ""},
    };
    for (const auto& c : cases) {
        // Key names match without regard to case and doubled separators.
        Read r = Query("software\\\\microsoft\\Shared Tools\\msinfo", c.value);
        ASSERT_EQ(r.open, ERROR_SUCCESS);
        EXPECT_EQ(r.query, c.query) << c.value;
        if (c.query != ERROR_SUCCESS) continue;
        EXPECT_EQ(r.type, c.type) << c.value;
        EXPECT_EQ(r.data, c.data) << c.value;
    }
}

TEST(Registry, MissingMalformedOversizedAndReadOnly) {
    TempHost host;
    const std::string file = host.Root() + "/registry.reg";
    EXPECT_EQ(Query(kKey, "PATH").open, ERROR_FILE_NOT_FOUND); // no file: empty registry

    TempHost::Write(file, "not a registry\n[HKEY_LOCAL_MACHINE\\" + std::string(kKey) +
                              "]\n\"PATH\"=\"x\"\n");
    EXPECT_EQ(Query(kKey, "PATH").open, ERROR_FILE_NOT_FOUND); // no header: nothing is read

    TempHost::Write(file, "REGEDIT4\n[HKEY_LOCAL_MACHINE\\" + std::string(kKey) + "]\n\"PATH\"=\"" +
                              std::string(1024, 'x') + "\"\n");
    Read r = Query(kKey, "PATH");
    EXPECT_EQ(r.query, ERROR_MORE_DATA); // 1024 characters and the zero do not fit in 1024
    EXPECT_EQ(r.size, 1025u);
    EXPECT_EQ(Query(kKey, "PATH", KEY_READ, 1025).query, ERROR_SUCCESS);

    HKEY h = 123;
    EXPECT_EQ(RegOpenKeyExA(0x12345, kKey, 0, KEY_READ, &h), ERROR_INVALID_HANDLE);
    EXPECT_EQ(h, 0u);

    // Write rights are refused on a file the user may only read.
    TempHost::Write(file, "REGEDIT4\n[HKEY_LOCAL_MACHINE\\" + std::string(kKey) +
                              "]\n\"PATH\"=\"C:\\\\x.exe\"\n");
    EXPECT_EQ(Query(kKey, "PATH", 0x2003F).query, ERROR_SUCCESS);
    chmod(file.c_str(), 0444);
    EXPECT_EQ(Query(kKey, "PATH", 0x2003F).open, ERROR_ACCESS_DENIED);
    EXPECT_EQ(Query(kKey, "PATH", KEY_READ).query, ERROR_SUCCESS);
}
