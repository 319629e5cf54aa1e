#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// A file that could not be opened, read or written; names the file and the system's reason.
class INIFileError : public std::runtime_error
{
public:
    INIFileError(const std::string& fileName, const std::string& action, const std::string& reason);
    const std::string& FileName() const noexcept { return mFileName; }
    const std::string& Reason() const noexcept { return mReason; }

private:
    std::string mFileName;
    std::string mReason;
};

// An INI file held in memory: variables by section and name, plus the comment lines
// with the line numbers they stood on, so that a save can put them back.
// Texts are byte strings, compared exactly and ordered by unsigned byte value.
class clsINIParse
{
public:
    clsINIParse() = default;
    // Variables point into buffers this object owns; copying is not needed by anyone, so it is not offered.
    clsINIParse(const clsINIParse&) = delete;
    clsINIParse& operator=(const clsINIParse&) = delete;

    std::string INIFileName() const;
    void INIFileName(const std::string& FileName);
    void LoadINI();
    std::string GetVariableValue(const std::string& VariableName) const;
    std::string GetSectionVariableValue(const std::string& SectionName, const std::string& VariableName) const;
    bool ChangeVariable(const std::string& VariableName, const std::string& NewValue);
    bool ChangeSectionVariable(const std::string& SectionName, const std::string& VariableName,
                               const std::string& NewValue);
    bool AddVariable(const std::string& VariableName, const std::string& Value);
    bool AddSectionVariable(const std::string& SectionName, const std::string& VariableName, const std::string& Value);
    bool DeleteVariable(const std::string& VariableName);
    bool DeleteSectionVariable(const std::string& SectionName, const std::string& VariableName);
    void SaveINI();

private:
    friend struct clsINIParseProbe; // lets the unit tests and the fuzz target inspect the tables

    // The bytes "name=value" lie together, so a save writes a variable in one piece. Loaded
    // variables point into the file's buffer; added or grown ones into a text of mOwnedTexts.
    // 24 bytes per variable keep a loaded model within a small multiple of the file's size.
    struct Variable
    {
        char* text;
        std::uint32_t nameLength;
        std::uint32_t valueLength;
        std::uint32_t section; // index into mSections; 0 is the sectionless group
    };
    struct Comment
    {
        const char* text; // the whole line, marker included, inside a file buffer
        std::int64_t lineNumber;
        std::size_t length;
    };
    static constexpr std::uint32_t kAnySection = UINT32_MAX;

    void SortVariables();
    bool IsCommentLine(std::int64_t LineNumber) const;
    std::string GetCommentLine(std::int64_t LineNumber) const;

    static std::string_view NameOf(const Variable& v) { return {v.text, v.nameLength}; }
    static std::string_view ValueOf(const Variable& v) { return {v.text + v.nameLength + 1, v.valueLength}; }
    static bool Writable(std::string_view section, std::string_view name, std::string_view value);
    Variable MakeVariable(std::uint32_t section, std::string_view name, std::string_view value);
    void Release(const Variable& v) noexcept;
    void SetValue(Variable& v, std::string_view value);

    bool Parse(char* begin, char* end);
    void RebuildCommentIndex();
    const Comment* FindComment(std::int64_t lineNumber) const;
    bool FindSection(std::string_view name, std::uint32_t& id) const;
    std::uint32_t InternSection(std::string_view name, bool copy);
    std::size_t FindVariable(std::uint32_t section, std::string_view name) const;

    std::string mINIFileName;
    std::vector<Variable> mVariables;
    std::vector<Comment> mComments;
    std::vector<std::size_t> mCommentIndex; // into mComments, by line number, last recorded per number
    std::vector<std::string_view> mSections{std::string_view{}};
    std::unordered_map<std::string_view, std::uint32_t> mSectionIds; // names are unique, so ids compare as names
    std::vector<std::unique_ptr<char[]>> mBuffers; // loaded files and added section names
    std::unordered_map<const char*, std::unique_ptr<char[]>> mOwnedTexts; // added or grown variables, by address
};
