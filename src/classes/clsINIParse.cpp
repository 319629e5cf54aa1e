#include "clsINIParse.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <limits>
#include <numeric>
#include <system_error>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

INIFileError::INIFileError(const std::string& fileName, const std::string& action, const std::string& reason)
    : std::runtime_error(action + " \"" + fileName + "\": " + reason), mFileName(fileName), mReason(reason)
{ }

namespace {

constexpr std::size_t kMaxLength = std::numeric_limits<std::uint32_t>::max();

[[noreturn]] void ThrowSystem(const std::string& fileName, const char* action, int error)
{
    throw INIFileError(fileName, action, std::generic_category().message(error));
}

class FileHandle
{
public:
    explicit FileHandle(int fd) : mFd(fd) { }
    ~FileHandle()
    {
        if (mFd >= 0)
            ::close(mFd);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    int Get() const { return mFd; }

private:
    int mFd;
};

// Next CR or LF at or after p. Each kind is searched separately and remembered, so a file
// that uses only one of them is still scanned once, not once per line.
class BreakFinder
{
public:
    BreakFinder(char* begin, char* end) : mEnd(end), mCR(Find(begin, '\r')), mLF(Find(begin, '\n')) { }
    char* Next(char* p)
    {
        if (mCR < p)
            mCR = Find(p, '\r');
        if (mLF < p)
            mLF = Find(p, '\n');
        return std::min(mCR, mLF);
    }

private:
    char* Find(char* p, char c) const
    {
        void* hit = std::memchr(p, c, static_cast<std::size_t>(mEnd - p));
        return hit ? static_cast<char*>(hit) : mEnd;
    }
    char* mEnd;
    char* mCR;
    char* mLF;
};

// Writes a saved file. An ordinary file is replaced: the new contents go into a temporary file
// beside it, renamed over it only once everything is on disk, so a failed save leaves the old
// file whole. Where a rename would lose something a user relies on (a device, a link's other
// names, the owner, the link itself) or cannot be made (no temporary file in the folder),
// the file is written through in place as a plain write would, truncated only once the new
// contents are ready in memory.
class FileWriter
{
public:
    explicit FileWriter(const std::string& fileName);
    ~FileWriter();
    FileWriter(const FileWriter&) = delete;
    FileWriter& operator=(const FileWriter&) = delete;

    void Line(const char* text, std::size_t length)
    {
        if (length + 2 <= kBufferSize - mUsed) { // the usual case, kept to two small copies
            std::memcpy(mBuffer.get() + mUsed, text, length);
            std::memcpy(mBuffer.get() + mUsed + length, "\r\n", 2);
            mUsed += length + 2;
            return;
        }
        Put(text, length);
        Put("\r\n", 2);
    }
    void Header(std::string_view name)
    {
        Put("[", 1);
        Put(name.data(), name.size());
        Line("]", 1);
    }
    void Commit();

private:
    static constexpr std::size_t kBufferSize = 64 * 1024;
    bool StartReplacement(const std::string& target, const struct stat* old);
    void Put(const char* text, std::size_t length);
    void Flush();
    void Emit(const char* text, std::size_t length);
    void WriteAll(const char* text, std::size_t length);

    std::string mFileName; // as the caller named it, for messages
    std::string mTarget; // what the temporary file is renamed to, with a symbolic link resolved
    std::string mTempName; // empty when writing in place
    int mFd = -1;
    bool mRegular = false; // a regular file is synced; in place, it is truncated first
    std::string mInPlace; // in place: the whole new contents, written at Commit
    bool mCommitted = false;
    std::unique_ptr<char[]> mBuffer = std::make_unique_for_overwrite<char[]>(kBufferSize);
    std::size_t mUsed = 0;
};

FileWriter::FileWriter(const std::string& fileName) : mFileName(fileName)
{
    const char* action = "cannot open for writing";
    const auto fail = [&](int error) {
        if (mFd >= 0)
            ::close(mFd);
        ThrowSystem(mFileName, action, error);
    };
    if (fileName.empty())
        fail(ENOENT);

    // Opening the old file first keeps the failures a plain write would have (a folder, a
    // read-only file), and is what an in-place save writes through. A pipe without a reader
    // is refused rather than waited for.
    mFd = ::open(fileName.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat old
    { };
    struct stat name
    { };
    if (mFd >= 0) {
        if (::fstat(mFd, &old) != 0)
            fail(errno);
        // Replaced only as a regular file (not a device or a pipe) with one link (its other
        // names would keep the old contents) that is not mounted over another (it cannot be
        // renamed over). A symbolic link survives when the file it names is replaced.
        struct statx where
        { };
        const bool mounted = ::statx(mFd, "", AT_EMPTY_PATH, 0, &where) != 0
            || (where.stx_attributes & STATX_ATTR_MOUNT_ROOT);
        std::error_code ec;
        const bool link = ::lstat(fileName.c_str(), &name) == 0 && S_ISLNK(name.st_mode);
        const std::string target = link ? fs::canonical(fileName, ec).string() : fileName;
        if (S_ISREG(old.st_mode) && old.st_nlink == 1 && !mounted && !ec && StartReplacement(target, &old))
            return;
    } else if (errno != ENOENT) {
        fail(errno);
    } else if (::lstat(fileName.c_str(), &name) != 0 && errno == ENOENT && StartReplacement(fileName, nullptr)) {
        return; // a new file
    } else {
        // A plain write: through a dangling symbolic link it creates the file the link names.
        mFd = ::open(fileName.c_str(), O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666);
        if (mFd < 0 || ::fstat(mFd, &old) != 0)
            fail(errno);
    }
    mRegular = S_ISREG(old.st_mode);
    if (::fcntl(mFd, F_SETFL, ::fcntl(mFd, F_GETFL) & ~O_NONBLOCK) != 0)
        fail(errno);
}

// Makes the temporary file for a replacement of target, with the old file's owner and mode.
// Returns false where the file cannot be made (a folder the process cannot write) or would
// not keep them; the save then writes in place.
bool FileWriter::StartReplacement(const std::string& target, const struct stat* old)
{
    const fs::path path(target);
    const fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");
    const auto seed = static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count())
        ^ (static_cast<unsigned long long>(::getpid()) << 32);
    int fd = -1;
    for (unsigned attempt = 0; fd < 0; ++attempt) {
        // Built step by step: GCC 12 warns falsely (-Wrestrict) on "." + string at -O3.
        std::string name = path.filename().string();
        name.insert(name.begin(), '.');
        name += ".tmp";
        name += std::to_string(seed + attempt);
        mTempName = (folder / name).string();
        fd = ::open(mTempName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && (errno != EEXIST || attempt == 100)) {
            mTempName.clear();
            return false;
        }
    }
    // Only the owner or root can pass the old file's owner on; anyone else would take the
    // file over by renaming (in a sticky folder, could not rename at all). The owner first:
    // changing it may clear the set-ID bits of the mode.
    if (old && (::fchown(fd, old->st_uid, old->st_gid) != 0 || ::fchmod(fd, old->st_mode & 07777) != 0)) {
        ::close(fd);
        ::unlink(mTempName.c_str());
        mTempName.clear();
        return false;
    }
    if (mFd >= 0)
        ::close(mFd); // the old file, opened only as a check
    mFd = fd;
    mTarget = target;
    mRegular = true;
    return true;
}

FileWriter::~FileWriter()
{
    if (mFd >= 0)
        ::close(mFd);
    if (!mCommitted && !mTempName.empty())
        ::unlink(mTempName.c_str());
}

void FileWriter::Put(const char* text, std::size_t length)
{
    if (length > kBufferSize - mUsed) {
        Flush();
        if (length >= kBufferSize) {
            Emit(text, length);
            return;
        }
    }
    std::memcpy(mBuffer.get() + mUsed, text, length);
    mUsed += length;
}

void FileWriter::Flush()
{
    Emit(mBuffer.get(), mUsed);
    mUsed = 0;
}

// Into the temporary file at once; in place, held until the whole contents are known.
void FileWriter::Emit(const char* text, std::size_t length)
{
    if (mTempName.empty())
        mInPlace.append(text, length);
    else
        WriteAll(text, length);
}

void FileWriter::WriteAll(const char* text, std::size_t length)
{
    while (length > 0) {
        const ssize_t written = ::write(mFd, text, length);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            ThrowSystem(mFileName, "cannot write", errno);
        }
        text += written;
        length -= static_cast<std::size_t>(written);
    }
}

void FileWriter::Commit()
{
    Flush();
    if (mTempName.empty()) {
        if (mRegular && ::ftruncate(mFd, 0) != 0)
            ThrowSystem(mFileName, "cannot write", errno);
        WriteAll(mInPlace.data(), mInPlace.size());
    }
    if (mRegular && ::fsync(mFd) != 0) // a device or a pipe has nothing to sync
        ThrowSystem(mFileName, "cannot write", errno);
    const int fd = std::exchange(mFd, -1);
    if (::close(fd) != 0)
        ThrowSystem(mFileName, "cannot write", errno);
    if (mTempName.empty())
        return;
    if (::rename(mTempName.c_str(), mTarget.c_str()) != 0)
        ThrowSystem(mFileName, "cannot replace", errno);
    mCommitted = true;
    // Makes the rename itself durable. The new contents are already in place, so a folder
    // that cannot be synced is no reason to report failure.
    const fs::path folder = fs::path(mTarget).has_parent_path() ? fs::path(mTarget).parent_path() : fs::path(".");
    FileHandle dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.Get() >= 0)
        ::fsync(dir.Get());
}

} // namespace

std::string clsINIParse::INIFileName() const
{
    return mINIFileName;
}

void clsINIParse::INIFileName(const std::string& FileName)
{
    mINIFileName = FileName;
}

void clsINIParse::LoadINI()
{
    std::error_code ec;
    const fs::file_status status = fs::status(mINIFileName, ec);
    if (status.type() == fs::file_type::not_found)
        return;
    if (ec)
        throw INIFileError(mINIFileName, "cannot open", ec.message());
    if (!fs::is_regular_file(status))
        return;

    FileHandle fd(::open(mINIFileName.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.Get() < 0)
        ThrowSystem(mINIFileName, "cannot open", errno);
    // One read of the whole file; the model then points into this buffer instead of copying
    // every name and value. The extra byte lets the end of the file show without regrowing.
    struct stat info
    { };
    std::size_t capacity = 4096;
    if (::fstat(fd.Get(), &info) == 0 && info.st_size > 0)
        capacity = static_cast<std::size_t>(info.st_size) + 1;
    auto buffer = std::make_unique_for_overwrite<char[]>(capacity);
    std::size_t used = 0;
    int readError = 0;
    for (;;) {
        if (used == capacity) { // the file grew, or its size was not known
            auto bigger = std::make_unique_for_overwrite<char[]>(capacity * 2);
            std::memcpy(bigger.get(), buffer.get(), used);
            buffer = std::move(bigger);
            capacity *= 2;
        }
        const ssize_t got = ::read(fd.Get(), buffer.get() + used, capacity - used);
        if (got > 0)
            used += static_cast<std::size_t>(got);
        else if (got == 0)
            break;
        else if (errno != EINTR) {
            readError = errno;
            break;
        }
    }

    char* begin = buffer.get();
    char* end = begin + used;
    if (readError != 0) { // the lines read completely before the failure still count
        while (end > begin && end[-1] != '\r' && end[-1] != '\n')
            --end;
    }
    const std::size_t variablesBefore = mVariables.size();
    const std::size_t commentsBefore = mComments.size();
    mBuffers.push_back(std::move(buffer));
    const bool complete = Parse(begin, end);
    if (mVariables.size() == variablesBefore && mComments.size() == commentsBefore)
        mBuffers.pop_back(); // nothing points into it
    if (readError != 0)
        ThrowSystem(mINIFileName, "cannot read", readError);
    if (!complete)
        throw INIFileError(mINIFileName, "cannot read", "a line is longer than 4 GiB");
}

// Reads the lines of [begin, end) into the model. Returns false if it stopped at a line too
// long to hold; what came before that line stays.
bool clsINIParse::Parse(char* begin, char* end)
{
    std::string_view section;
    std::uint32_t sectionId = 0;
    bool sectionInterned = true; // sections are interned only once a variable uses them
    std::int64_t lineNumber = 0;
    const std::size_t commentsBefore = mComments.size();
    bool complete = true;
    BreakFinder breaks(begin, end);
    for (char* line = begin; line < end;) {
        char* lineEnd = breaks.Next(line);
        char* next = lineEnd;
        if (next < end)
            next += (*next == '\r' && next + 1 < end && next[1] == '\n') ? 2 : 1;
        const auto length = static_cast<std::size_t>(lineEnd - line);
        if (length == 0) { // empty lines do not count
            line = next;
            continue;
        }
        if (length > kMaxLength) {
            complete = false;
            break;
        }
        ++lineNumber;
        if (*line == '#' || *line == '\'') {
            mComments.push_back({line, lineNumber, length});
        } else if (*line == '[' && lineEnd[-1] == ']') {
            section = std::string_view(line + 1, length - 2);
            sectionInterned = false;
        } else if (auto* equals = static_cast<char*>(std::memchr(line, '=', length))) {
            if (!sectionInterned) {
                sectionId = InternSection(section, false);
                sectionInterned = true;
            }
            mVariables.push_back({line, static_cast<std::uint32_t>(equals - line),
                                  static_cast<std::uint32_t>(lineEnd - equals - 1), sectionId});
        }
        line = next;
    }
    if (mComments.size() != commentsBefore)
        RebuildCommentIndex();
    return complete;
}

std::string clsINIParse::GetVariableValue(const std::string& VariableName) const
{
    const std::size_t k = FindVariable(kAnySection, VariableName);
    return k == std::string::npos ? std::string() : std::string(ValueOf(mVariables[k]));
}

std::string clsINIParse::GetSectionVariableValue(const std::string& SectionName, const std::string& VariableName) const
{
    std::uint32_t section = 0;
    if (!FindSection(SectionName, section))
        return {};
    const std::size_t k = FindVariable(section, VariableName);
    return k == std::string::npos ? std::string() : std::string(ValueOf(mVariables[k]));
}

bool clsINIParse::ChangeVariable(const std::string& VariableName, const std::string& NewValue)
{
    if (!Writable({}, VariableName, NewValue))
        return false;
    const std::size_t k = FindVariable(kAnySection, VariableName);
    if (k == std::string::npos)
        return false;
    SetValue(mVariables[k], NewValue);
    return true;
}

bool clsINIParse::ChangeSectionVariable(const std::string& SectionName, const std::string& VariableName,
                                        const std::string& NewValue)
{
    std::uint32_t section = 0;
    if (!Writable(SectionName, VariableName, NewValue) || !FindSection(SectionName, section))
        return false;
    const std::size_t k = FindVariable(section, VariableName);
    if (k == std::string::npos)
        return false;
    SetValue(mVariables[k], NewValue);
    return true;
}

bool clsINIParse::AddVariable(const std::string& VariableName, const std::string& Value)
{
    return AddSectionVariable({}, VariableName, Value);
}

bool clsINIParse::AddSectionVariable(const std::string& SectionName, const std::string& VariableName,
                                     const std::string& Value)
{
    if (!Writable(SectionName, VariableName, Value))
        return false;
    std::uint32_t section = 0;
    const bool known = FindSection(SectionName, section);
    if (known && FindVariable(section, VariableName) != std::string::npos)
        return false;
    if (!known)
        section = InternSection(SectionName, true);
    // Should the push fail, the text stays in mOwnedTexts and goes with the object.
    mVariables.push_back(MakeVariable(section, VariableName, Value));
    return true;
}

bool clsINIParse::DeleteVariable(const std::string& VariableName)
{
    return DeleteSectionVariable({}, VariableName);
}

bool clsINIParse::DeleteSectionVariable(const std::string& SectionName, const std::string& VariableName)
{
    std::uint32_t section = 0;
    if (!FindSection(SectionName, section))
        return false;
    const std::size_t k = FindVariable(section, VariableName);
    if (k == std::string::npos)
        return false;
    Release(mVariables[k]);
    mVariables[k] = mVariables.back();
    mVariables.pop_back();
    if (mVariables.empty())
        std::vector<Variable>().swap(mVariables);
    return true;
}

void clsINIParse::SaveINI()
{
    SortVariables();
    FileWriter out(mINIFileName);
    std::int64_t line = 0; // number of the line being written, counting every output line
    // The line number only grows, so the comments are met in index order.
    auto next = mCommentIndex.begin();
    const auto writePendingComments = [&] {
        while (next != mCommentIndex.end() && mComments[*next].lineNumber < line)
            ++next;
        for (; next != mCommentIndex.end() && mComments[*next].lineNumber == line; ++next, ++line)
            out.Line(mComments[*next].text, mComments[*next].length);
    };
    std::uint32_t lastSection = 0;
    for (const Variable& v : mVariables) {
        if (v.section != lastSection) {
            ++line;
            writePendingComments();
            out.Line("", 0);
            ++line;
            writePendingComments();
            out.Header(mSections[v.section]);
            lastSection = v.section;
        }
        ++line;
        writePendingComments();
        out.Line(v.text, v.nameLength + 1 + v.valueLength);
    }
    // Comments numbered beyond the last line would otherwise be lost: they follow it instead.
    for (; next != mCommentIndex.end(); ++next)
        out.Line(mComments[*next].text, mComments[*next].length);
    out.Commit();
}

// A stable sort by (section, name) leaves exactly the order that exchanging neighbours only
// when strictly greater would leave. Sections are distributed by rank in one stable pass,
// then each section's names are sorted; an already sorted stretch costs one comparison a line.
void clsINIParse::SortVariables()
{
    if (mVariables.size() < 2)
        return;
    std::vector<std::uint32_t> order(mSections.size());
    std::iota(order.begin(), order.end(), 0U);
    std::sort(order.begin(), order.end(),
              [&](std::uint32_t a, std::uint32_t b) { return mSections[a] < mSections[b]; });
    std::vector<std::size_t> start(mSections.size() + 1); // first position of each rank
    std::vector<std::uint32_t> rank(mSections.size());
    for (std::uint32_t i = 0; i < order.size(); ++i)
        rank[order[i]] = i;
    bool grouped = true;
    for (std::size_t k = 0; k < mVariables.size(); ++k) {
        ++start[rank[mVariables[k].section] + 1];
        grouped = grouped && (k == 0 || rank[mVariables[k - 1].section] <= rank[mVariables[k].section]);
    }
    std::partial_sum(start.begin(), start.end(), start.begin());
    if (!grouped) {
        std::vector<Variable> byRank(mVariables.size());
        std::vector<std::size_t> next(start.begin(), start.end() - 1);
        for (const Variable& v : mVariables)
            byRank[next[rank[v.section]]++] = v;
        mVariables.swap(byRank);
    }
    const auto nameBefore = [](const Variable& a, const Variable& b) {
        // Names are short: a plain loop beats calling memcmp for each comparison.
        const std::uint32_t n = std::min(a.nameLength, b.nameLength);
        for (std::uint32_t i = 0; i < n; ++i) {
            if (a.text[i] != b.text[i])
                return static_cast<unsigned char>(a.text[i]) < static_cast<unsigned char>(b.text[i]);
        }
        return a.nameLength < b.nameLength;
    };
    for (std::size_t r = 0; r + 1 < start.size(); ++r) {
        const auto first = mVariables.begin() + static_cast<std::ptrdiff_t>(start[r]);
        const auto last = mVariables.begin() + static_cast<std::ptrdiff_t>(start[r + 1]);
        if (!std::is_sorted(first, last, nameBefore))
            std::stable_sort(first, last, nameBefore);
    }
}

// Lookups of one number; SaveINI meets the numbers in order and walks the index instead.
bool clsINIParse::IsCommentLine(std::int64_t LineNumber) const
{
    return FindComment(LineNumber) != nullptr;
}

std::string clsINIParse::GetCommentLine(std::int64_t LineNumber) const
{
    const Comment* c = FindComment(LineNumber);
    return c ? std::string(c->text, c->length) : std::string();
}

void clsINIParse::RebuildCommentIndex()
{
    mCommentIndex.resize(mComments.size());
    std::iota(mCommentIndex.begin(), mCommentIndex.end(), std::size_t{0});
    std::stable_sort(mCommentIndex.begin(), mCommentIndex.end(),
                     [&](std::size_t a, std::size_t b) { return mComments[a].lineNumber < mComments[b].lineNumber; });
    // Of several comments with one number, only the one recorded last is ever looked up.
    std::size_t kept = 0;
    for (std::size_t i = 0; i < mCommentIndex.size(); ++i) {
        if (i + 1 < mCommentIndex.size()
            && mComments[mCommentIndex[i]].lineNumber == mComments[mCommentIndex[i + 1]].lineNumber)
            continue;
        mCommentIndex[kept++] = mCommentIndex[i];
    }
    mCommentIndex.resize(kept);
}

const clsINIParse::Comment* clsINIParse::FindComment(std::int64_t lineNumber) const
{
    auto it = std::lower_bound(mCommentIndex.begin(), mCommentIndex.end(), lineNumber,
                               [&](std::size_t i, std::int64_t n) { return mComments[i].lineNumber < n; });
    if (it == mCommentIndex.end() || mComments[*it].lineNumber != lineNumber)
        return nullptr;
    return &mComments[*it];
}

bool clsINIParse::FindSection(std::string_view name, std::uint32_t& id) const
{
    if (name.empty()) {
        id = 0;
        return true;
    }
    const auto it = mSectionIds.find(name);
    if (it == mSectionIds.end())
        return false;
    id = it->second;
    return true;
}

// Gives every distinct section name one id, so sections compare as numbers. A loaded name
// already lives in its file's buffer; a name from a caller is copied into a buffer of ours.
std::uint32_t clsINIParse::InternSection(std::string_view name, bool copy)
{
    std::uint32_t id = 0;
    if (FindSection(name, id))
        return id;
    if (copy) {
        auto bytes = std::make_unique_for_overwrite<char[]>(name.size());
        std::memcpy(bytes.get(), name.data(), name.size());
        name = std::string_view(bytes.get(), name.size());
        mBuffers.push_back(std::move(bytes));
    }
    id = static_cast<std::uint32_t>(mSections.size());
    mSections.push_back(name);
    mSectionIds.emplace(name, id);
    return id;
}

// First match from position 1 upwards, as every lookup is defined.
std::size_t clsINIParse::FindVariable(std::uint32_t section, std::string_view name) const
{
    for (std::size_t k = 0; k < mVariables.size(); ++k) {
        const Variable& v = mVariables[k];
        if ((section == kAnySection || v.section == section) && v.nameLength == name.size()
            && std::memcmp(v.text, name.data(), name.size()) == 0)
            return k;
    }
    return std::string::npos;
}

// Refuses what would be written as a line that reads back as something else: a name that
// would split at its own "=", read as a comment or, with a value ending in "]", as a
// header; and any line break inside a section name, a name or a value.
bool clsINIParse::Writable(std::string_view section, std::string_view name, std::string_view value)
{
    if (section.find_first_of("\r\n") != std::string_view::npos || name.find_first_of("=\r\n") != std::string_view::npos
        || value.find_first_of("\r\n") != std::string_view::npos)
        return false;
    if (!name.empty() && (name.front() == '#' || name.front() == '\''))
        return false;
    if (!name.empty() && name.front() == '[' && !value.empty() && value.back() == ']')
        return false;
    return name.size() <= kMaxLength && value.size() <= kMaxLength;
}

clsINIParse::Variable clsINIParse::MakeVariable(std::uint32_t section, std::string_view name, std::string_view value)
{
    auto bytes = std::make_unique_for_overwrite<char[]>(name.size() + 1 + value.size());
    char* text = bytes.get();
    std::memcpy(text, name.data(), name.size());
    text[name.size()] = '=';
    std::memcpy(text + name.size() + 1, value.data(), value.size());
    mOwnedTexts.emplace(text, std::move(bytes));
    return {text, static_cast<std::uint32_t>(name.size()), static_cast<std::uint32_t>(value.size()), section};
}

// A value that fits is overwritten where it stands; a longer one gets a buffer of its own.
void clsINIParse::SetValue(Variable& v, std::string_view value)
{
    if (value.size() <= v.valueLength) {
        std::memcpy(v.text + v.nameLength + 1, value.data(), value.size());
        v.valueLength = static_cast<std::uint32_t>(value.size());
        return;
    }
    Variable grown = MakeVariable(v.section, NameOf(v), value);
    Release(v);
    v = grown;
}

// Frees the text of an added or grown variable; a loaded one's stays with its file buffer.
void clsINIParse::Release(const Variable& v) noexcept
{
    mOwnedTexts.erase(v.text);
}
