// Loads arbitrary bytes as an INI file, applies the edits the input asks for, saves, and loads
// the saved file into a new object: the variables must come back the same and in the same
// order, and of the comments exactly one per recorded line number, in number order.
// Input: the file's bytes, then optionally NUL-separated section, name, value and a name to delete.
#include "clsINIParseProbe.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

static std::string gFile; // on tmpfs where there is one: every run saves, and a save syncs to disk

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    std::string folder = (std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : "/tmp")
        + std::string("/fuzz_ini_XXXXXX");
    if (::mkdtemp(folder.data()) == nullptr)
        std::abort();
    gFile = folder + "/fuzz.ini"; // gFile was made first, so it is still there when this handler runs at exit
    std::atexit([] { std::filesystem::remove_all(std::filesystem::path(gFile).parent_path()); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::vector<std::string> fields(1);
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0)
            fields.emplace_back();
        else
            fields.back() += static_cast<char>(data[i]);
    }
    std::ofstream(gFile, std::ios::binary | std::ios::trunc) << fields[0];

    clsINIParse first, second;
    first.INIFileName(gFile);
    first.LoadINI();
    if (fields.size() >= 4) {
        first.AddSectionVariable(fields[1], fields[2], fields[3]);
        first.ChangeVariable(fields[2], fields[3] + fields[3]);
        first.ChangeSectionVariable(fields[1], fields[2], fields[3].substr(0, fields[3].size() / 2));
    }
    if (fields.size() >= 5)
        first.DeleteSectionVariable(fields[1], fields[4]);
    first.SaveINI(); // over the file it was loaded from

    second.INIFileName(gFile);
    second.LoadINI();
    const std::string saved = clsINIParseProbe::Dump(first, false, true),
                      loaded = clsINIParseProbe::Dump(second, false);
    if (loaded != saved) {
        std::fprintf(stderr, "round-trip broken:\n%s---\n%s", saved.c_str(), loaded.c_str());
        std::abort();
    }
    return 0;
}
