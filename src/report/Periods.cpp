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
    TextOut out(device);
    // The table's lines written in place, cell by cell: an export may hold millions.
    const auto dates = [&](const QString& start, const QString& end) {
        out << start;
        out.Blanks(dateWidth + 2 - start.size()) << end;
        out.Blanks(dateWidth + 2 - end.size());
    };
    const auto hours = [&](double days) {
        const QString h = text.Hours(days);
        out.Blanks(8 - h.size()) << h;
    };
    const auto sumLine = [&](const QString& label, double days) {
        dates(label, QString());
        hours(days);
        out << QLatin1Char('\n');
    };
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
            sumLine(text.DayLabel(day), dayTotal);
            dayTotal = 0;
        }
        first = false;
        day = std::floor(start);
        dayTotal += end - start;
        total += end - start;
        dates(text.Date(start), text.Date(end));
        hours(end - start);
        out << QLatin1StringView("  ") << *field << QLatin1Char('\n');
    }
    if (!table) {
        EndEntries(out, o.format);
    } else {
        if (!first)
            sumLine(text.DayLabel(day), dayTotal);
        sumLine(QStringLiteral("Total"), total);
    }
    out.Flush();
    return leftOut.Warning();
}
