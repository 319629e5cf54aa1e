#include "classes/clsProject.h"

#include "platform/AppError.h"

#include <limits>

namespace {
[[noreturn]] void NoCurrentProject()
{
    throw AppError("Type mismatch: there is no current project in the project list.");
}
} // namespace

bool clsProject::MoveFirst()
{
    // True even for an empty list; the cursor then stands outside it.
    if (mCount >= 0) {
        mCursor = 1;
        return true;
    }
    return false;
}

bool clsProject::MoveNext()
{
    if (mCursor < mCount) {
        ++mCursor;
        return true;
    }
    return false;
}

void clsProject::Reset()
{
    mProjectIDs.clear();
    mNames.clear();
    mDescriptions.clear();
    mTotalTimes.clear();
    mCount = 0;
    mCursor = 0;
}

qint32 clsProject::Count() const
{
    return mCount;
}

qint32 clsProject::ProjectID() const
{
    if (!AtProject())
        NoCurrentProject();
    return mProjectIDs[Index()];
}

void clsProject::ProjectID(qint32 vNewValue)
{
    if (AtProject())
        mProjectIDs[Index()] = vNewValue;
}

QString clsProject::Name() const
{
    return AtProject() ? mNames[Index()] : QString();
}

void clsProject::Name(const QString& vNewValue)
{
    if (AtProject())
        mNames[Index()] = vNewValue;
}

QString clsProject::Description() const
{
    return AtProject() ? mDescriptions[Index()] : QString();
}

void clsProject::Description(const QString& vNewValue)
{
    if (AtProject())
        mDescriptions[Index()] = vNewValue;
}

double clsProject::TotalTime() const
{
    if (!AtProject())
        NoCurrentProject();
    return mTotalTimes[Index()];
}

void clsProject::TotalTime(double vNewValue)
{
    if (AtProject())
        mTotalTimes[Index()] = vNewValue;
}

bool clsProject::GotoID(qint32 ProjectID)
{
    bool found = false;
    const qint32 count = mCount;
    // No early stop: with the same ID twice, the last one wins.
    for (qint32 i = 1; i <= count; ++i) {
        if (mProjectIDs[static_cast<size_t>(i - 1)] == ProjectID) {
            mCursor = i;
            found = true;
        }
    }
    return found;
}

void clsProject::Add(qint32 ProjectID, const QString& ProjectName, const QString& ProjectDescription)
{
    if (mCount == std::numeric_limits<qint32>::max())
        throw AppError("Overflow: the project list cannot hold more projects.");
    mProjectIDs.push_back(ProjectID);
    mNames.push_back(ProjectName);
    mDescriptions.push_back(ProjectDescription);
    mTotalTimes.push_back(0.0);
    ++mCount;
    mCursor = mCount;
}
