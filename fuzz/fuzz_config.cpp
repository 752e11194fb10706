// The settings file (config.ini): any content reads as the eight keys without failing, and
// writing eight values into that content, as the program does when it closes, reads back as
// exactly those values, whatever other lines, sections and spellings the file holds.
#include "app/core/config.h"
#include "base/inifile.h"
#include "fuzz/fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput in(data, size);
    ConfigValues written;
    written.Port = in.number<int32_t>();
    written.Baudrate = in.number<int8_t>();
    written.Bits = in.number<int8_t>();
    written.HandShake = in.number<int8_t>();
    written.Parity = in.number<int8_t>();
    written.StopBits = in.number<int8_t>();
    written.Top = in.number<int32_t>();
    written.Left = in.number<int32_t>();

    IniFile ini;
    ini.setBytes(in.rest());
    ReadConfigValues(ini);

    WriteConfigValues(ini, written);
    FUZZ_CHECK(ReadConfigValues(ini) == written, "written settings do not read back");

    // Through the bytes of the file, as at the next start.
    IniFile reread;
    reread.setBytes(ini.toBytes());
    FUZZ_CHECK(ReadConfigValues(reread) == written, "saved settings do not read back");
    FUZZ_CHECK(reread.toBytes() == ini.toBytes(), "a saved file changes when read and saved again");
    return 0;
}
