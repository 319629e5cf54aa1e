#include "modules/modGlobal.h"

#include "forms/frmMain.h"
#include "forms/frmProjectDetails.h"
#include "modules/modGeneral.h"
#include "platform/AppError.h"
#include "platform/DataFolder.h"
#include "platform/Database.h"
#include "platform/ListView.h"
#include "platform/Regional.h"

#include <QDir>

#include <cmath>

QString GetAppPath()
{
    QString path = QDir::toNativeSeparators(DataFolder());
    // The root folder already ends in the separator.
    if (!path.endsWith(QDir::separator()))
        path += QDir::separator();
    return path;
}

QString ConnectionStringFor(const QString& appPath)
{
    return ConnectionStringForFile(appPath + QStringLiteral("Tallyclock.mdb"));
}

void LoadProjects()
{
    Connection cn;
    cn.Open(gConnectionString);
    RecordSet rs;
    rs.Open(QStringLiteral("SELECT * FROM qryProject ORDER BY Name"), cn);
    gProjects->Reset();
    while (!rs.IsEOF()) {
        gProjects->Add(rs.Fields(0).ToInt32(), rs.Fields(1).ToText(), rs.Fields(2).ToText());
        const Field total = rs.Fields(3);
        gProjects->TotalTime(total.IsNull() ? 0.0 : total.ToDouble());
        rs.MoveNext();
    }
    // Closing the connection ends the result set with it.
    cn.Close();
}

double DaysToMinutes(double days)
{
    return MinutesFromDays(days);
}

QString SqlText(const QString& value)
{
    QString quoted = value;
    quoted.replace(QLatin1Char('\''), QLatin1String("''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

void AddProjectRecord(const QString& name, const QString& description)
{
    Connection cn;
    cn.Open(gConnectionString);
    const QString desc = description.isEmpty() ? QStringLiteral(" ") : description;
    cn.Execute(QStringLiteral("INSERT INTO tblProject(Name,Description) VALUES(") + SqlText(name) + QLatin1Char(',')
               + SqlText(desc) + QLatin1Char(')'));
    cn.Close();
}

QString TimePeriodInsertSql(qint32 projectID, const QString& startText, const QString& endText)
{
    return QStringLiteral("INSERT INTO tblTimePeriod(ProjectID,StartTime,EndTime) VALUES(") + QString::number(projectID)
        + QStringLiteral(",#") + startText + QStringLiteral("#,#") + endText + QStringLiteral("#)");
}

void AddTimePeriodRecord(qint32 projectID, double startTime, double endTime)
{
    Connection cn;
    cn.Open(gConnectionString);
    cn.Execute(TimePeriodInsertSql(projectID, GeneralDateText(startTime), GeneralDateText(endTime)));
    cn.Close();
}

void DeleteProjectRecord(qint32 projectID)
{
    const QString id = QString::number(projectID);
    Connection cn;
    cn.Open(gConnectionString);
    TransactionScope transaction(cn);
    // The periods first, then the project; together or not at all.
    cn.Execute(QStringLiteral("DELETE FROM tblTimePeriod WHERE ProjectID=") + id);
    cn.Execute(QStringLiteral("DELETE FROM tblProject WHERE ProjectID=") + id);
    transaction.Commit();
    cn.Close();
}

qint32 IDFromKey(const QString& key)
{
    bool ok = false;
    const qint32 id = key.startsWith(QLatin1String("KEY")) ? key.mid(3).toInt(&ok) : 0;
    if (!ok)
        throw AppError(QStringLiteral("The list entry \"%1\" has no record number.").arg(key).toStdString(),
                       ErrorKind::BadInput);
    return id;
}

QString KeyFromID(qint32 id)
{
    return QStringLiteral("KEY") + QString::number(id);
}

void FillProjectList()
{
    ListView& list = *frmMain().lstProject;
    ListView::Filling filling(list);
    list.Clear();
    gProjects->MoveFirst();
    const qint32 count = gProjects->Count();
    for (qint32 i = 1; i <= count; ++i) {
        const QString key = KeyFromID(gProjects->ProjectID());
        list.Add(key, gProjects->Name());
        list.Find(key)->setText(1, MinutesText(DaysToMinutes(gProjects->TotalTime())));
        gProjects->MoveNext();
    }
}

void LoadTimePeriods(qint32 ProjectID)
{
    Connection cn;
    cn.Open(gConnectionString);
    RecordSet rs;
    rs.Open(QStringLiteral("SELECT * FROM tblTimePeriod WHERE ProjectID=") + QString::number(ProjectID)
                + QStringLiteral(" ORDER BY StartTime"),
            cn);
    ListView& list = *frmProjectDetails().lstTimePeriods;
    ListView::Filling filling(list);
    list.Clear();
    while (!rs.IsEOF()) {
        const QString key = KeyFromID(rs.Fields(0).ToInt32());
        list.Add(key, GeneralDateText(rs.Fields(2).ToDouble()));
        list.Find(key)->setText(1, GeneralDateText(rs.Fields(3).ToDouble()));
        rs.MoveNext();
    }
    rs.Close();
    cn.Close();
}
