// Loads arbitrary bytes as an INI file, applies the edits the input asks for, saves, and loads
// the saved file into a new object: the variables must come back the same and in the same
// order, and of the comments exactly one per recorded line number, in number order.
// Input: the file's bytes, then optionally NUL-separated section, name, value and a name to delete.
#include "classes/clsINIParse.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

struct clsINIParseProbe {
    static std::string Variables(const clsINIParse& p)
    {
        std::string out;
        for (const auto& v : p.mVariables)
            out.append(p.mSections[v.section]).append("|").append(v.text, v.nameLength + 1 + v.valueLength).append("\n");
        return out;
    }
    static std::vector<std::string> CommentsInFileOrder(const clsINIParse& p)
    {
        std::vector<std::string> out;
        for (const auto& c : p.mComments)
            out.emplace_back(c.text, c.length);
        return out;
    }
    static std::vector<std::string> CommentsByNumber(const clsINIParse& p)
    {
        std::vector<std::string> out;
        for (std::size_t i : p.mCommentIndex)
            out.emplace_back(p.mComments[i].text, p.mComments[i].length);
        return out;
    }
};

namespace {

const std::string& Folder()
{
    static const std::string folder = [] {
        // tmpfs where there is one: every run saves, and a save syncs to disk
        std::string pattern = (std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : "/tmp") + std::string("/fuzz_ini_XXXXXX");
        if (::mkdtemp(pattern.data()) == nullptr)
            std::abort();
        return pattern;
    }();
    return folder;
}

void Check(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "round-trip broken: %s\n", what);
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    Folder();  // made first, so it is still there when the handler runs at exit
    std::atexit([] { std::filesystem::remove_all(Folder()); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string input(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> parts;
    for (std::size_t start = 0;;) {
        const std::size_t nul = input.find('\0', start);
        parts.push_back(input.substr(start, nul - start));
        if (nul == std::string::npos)
            break;
        start = nul + 1;
    }
    const std::string in = Folder() + "/in.ini", out = Folder() + "/out.ini";
    std::ofstream(in, std::ios::binary | std::ios::trunc) << parts[0];

    clsINIParse first;
    first.INIFileName(in);
    first.LoadINI();
    if (parts.size() >= 4) {
        first.AddSectionVariable(parts[1], parts[2], parts[3]);
        first.ChangeVariable(parts[2], parts[3] + parts[3]);
        first.ChangeSectionVariable(parts[1], parts[2], parts[3].substr(0, parts[3].size() / 2));
    }
    if (parts.size() >= 5)
        first.DeleteSectionVariable(parts[1], parts[4]);
    first.INIFileName(out);
    first.SaveINI();

    clsINIParse second;
    second.INIFileName(out);
    second.LoadINI();
    Check(clsINIParseProbe::Variables(second) == clsINIParseProbe::Variables(first), "variables differ");
    Check(clsINIParseProbe::CommentsInFileOrder(second) == clsINIParseProbe::CommentsByNumber(first), "comments differ");
    return 0;
}
