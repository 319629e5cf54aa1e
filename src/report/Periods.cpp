// The export: every period of a span, whole, in time order, written as it is read.

#include "platform/Database.h"
#include "platform/Regional.h"
#include "report/Report.h"
#include "report/ReportText.h"

#include <QHash>

#include <cmath>

QString WritePeriods(Connection& cn, const ReportOptions& o, QIODevice& device)
{
    const std::vector<Project> projects = LoadProjectNames(cn);
    const std::vector<qint32> ids = ChooseProjects(projects, o.projects);
    QHash<qint32, QString> names;
    for (const Project& p : projects)
        names.insert(p.id, p.name);
    const QString sql = SelectPeriods(cn, o, ids, QStringLiteral("ProjectID, StartTime, EndTime, TimePeriodID"),
                                      QString(), true);

    // The table's dates as wide as the widest this locale writes, so that lines need not wait
    // for the last to be aligned; the project comes last and needs no width.
    const Notation text;
    const bool table = o.format == Format::Table;
    qsizetype dateWidth = 5;
    for (int hour : {10, 22})
        dateWidth = std::max(dateWidth, text.Date(MomentFromDateTime(QDate(2026, 12, 28), QTime(hour, 58, 58))).size());
    for (int day = 21; day <= 27; ++day)
        dateWidth = std::max(dateWidth, text.DayLabel(DayOfDate(QDate(2026, 12, day))).size());
    const std::vector<qsizetype> widths{dateWidth, dateWidth, 8};
    // A line of the table, made in place: an export may hold millions.
    QString line;
    const auto cell = [&line](const QString& text, qsizetype width, bool left) {
        if (!left)
            line += QString(std::max<qsizetype>(width - text.size(), 0), QLatin1Char(' '));
        line += text;
        if (left)
            line += QString(std::max<qsizetype>(width - text.size(), 0) + 2, QLatin1Char(' '));
    };
    const auto tableLine = [&](const QString& start, const QString& end, double days, const QString& project) {
        line.clear();
        cell(start, dateWidth, true);
        cell(end, dateWidth, true);
        cell(text.Hours(days), 8, false);
        line += QStringLiteral("  ") + project;
        while (line.endsWith(QLatin1Char(' ')))
            line.chop(1);
        return line + QLatin1Char('\n');
    };

    TextOut out(device);
    if (table)
        out << TableLine(
            {QStringLiteral("Start"), QStringLiteral("End"), QStringLiteral("Duration"), QStringLiteral("Project")},
            widths, {1, 1, 0, 1});
    else
        BeginEntries(out, o.format);
    LeftOut leftOut;
    QHash<qint32, QString> fields; // each project's name as the format writes it, made once
    bool first = true;
    double day = 0, dayTotal = 0, total = 0;
    RecordSet rs;
    for (rs.Open(sql, cn); !rs.IsEOF(); rs.MoveNext()) {
        double start = 0, end = 0;
        if (!leftOut.Sane(rs, 1, 3, start, end))
            continue;
        const qint32 id = rs.Fields(0).ToInt32();
        auto field = fields.constFind(id);
        if (field == fields.cend()) {
            const bool known = names.contains(id);
            const QString name = known ? names.value(id) : NoProject();
            field = fields.insert(id, table ? RowLabel(id, name, known) : NameField(o.format, name, o.csvSafe));
        }
        if (!table) {
            WriteEntry(out, o.format, first, id, *field, start, end, end - start);
            first = false;
            continue;
        }
        // A line with each day's total after its last period, the day the period starts in.
        if (!first && std::floor(start) != day) {
            out << tableLine(text.DayLabel(day), QString(), dayTotal, QString());
            dayTotal = 0;
        }
        first = false;
        day = std::floor(start);
        dayTotal += end - start;
        total += end - start;
        out << tableLine(text.Date(start), text.Date(end), end - start, *field);
    }
    if (!table) {
        EndEntries(out, o.format);
    } else {
        if (!first)
            out << tableLine(text.DayLabel(day), QString(), dayTotal, QString());
        out << tableLine(QStringLiteral("Total"), QString(), total, QString());
    }
    out.Flush();
    return leftOut.Warning();
}
