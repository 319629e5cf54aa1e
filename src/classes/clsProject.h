#pragma once

#include <QString>
#include <QtGlobal>

#include <vector>

// The projects as last loaded from the database: four parallel lists (positions 1 to Count)
// with a cursor. Every field is read and written at the cursor.
class clsProject
{
public:
    bool MoveFirst();
    bool MoveNext();
    void Reset();
    qint32 Count() const;

    // Reading ProjectID or TotalTime with the cursor outside the list raises an AppError;
    // Name and Description read as empty text there; writes outside the list do nothing.
    qint32 ProjectID() const;
    void ProjectID(qint32 vNewValue);
    QString Name() const;
    void Name(const QString& vNewValue);
    QString Description() const;
    void Description(const QString& vNewValue);
    double TotalTime() const;
    void TotalTime(double vNewValue);

    bool GotoID(qint32 ProjectID);
    void Add(qint32 ProjectID, const QString& ProjectName, const QString& ProjectDescription);

private:
    bool AtProject() const { return mCursor >= 1 && mCursor <= mCount; }
    size_t Index() const { return static_cast<size_t>(mCursor - 1); }

    qint32 mCount = 0;
    qint32 mCursor = 0;
    std::vector<qint32> mProjectIDs;
    std::vector<QString> mNames;
    std::vector<QString> mDescriptions;
    std::vector<double> mTotalTimes;
};
