// tallyclock-report: where the time went, read from the program's database without changing it.

#include "platform/AppError.h"
#include "platform/Database.h"
#include "report/Report.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>

#include <cstdio>

namespace {

// Exit statuses: 1 the database failed, 2 the command line asked for something impossible.
constexpr int kDatabaseFailed = 1;
constexpr int kBadUsage = 2;

int Fail(const QString& message, int status)
{
    std::fprintf(stderr, "tallyclock-report: %s\n", qPrintable(message));
    return status;
}

template <typename T>
T Choice(const QCommandLineParser& parser, const QString& option, const QStringList& names,
         const std::vector<T>& values)
{
    const qsizetype at = names.indexOf(parser.value(option));
    if (at < 0)
        throw UsageError(QStringLiteral("--%1 takes one of %2, not \"%3\".")
                             .arg(option, names.join(QLatin1Char('|')), parser.value(option)));
    return values[static_cast<size_t>(at)];
}

double Day(const QCommandLineParser& parser, const QString& option)
{
    const auto day = ReadReportDay(parser.value(option));
    if (!day)
        throw UsageError(QStringLiteral("\"%1\" given to --%2 is not a date (2026-12-01 or the regional date).")
                             .arg(parser.value(option), option));
    return *day;
}

ReportOptions ReadOptions(const QCommandLineParser& parser)
{
    ReportOptions o;
    const QStringList spans{QStringLiteral("today"), QStringLiteral("week"), QStringLiteral("month"),
                            QStringLiteral("all")};
    QStringList chosen;
    for (const QString& span : spans) {
        if (parser.isSet(span))
            chosen << QStringLiteral("--") + span;
    }
    if (parser.isSet(QStringLiteral("from")) || parser.isSet(QStringLiteral("to")))
        chosen << QStringLiteral("--from/--to");
    if (chosen.size() > 1)
        throw UsageError(QStringLiteral("Choose one span of time, not %1.").arg(chosen.join(QStringLiteral(" and "))));

    double from = 0, to = 0;
    if (parser.isSet(QStringLiteral("today")))
        TodaySpan(from, to);
    else if (parser.isSet(QStringLiteral("month")))
        MonthSpan(from, to);
    else
        WeekSpan(from, to);
    if (parser.isSet(QStringLiteral("from")) || parser.isSet(QStringLiteral("to"))) {
        o.from.reset();
        o.to.reset();
        if (parser.isSet(QStringLiteral("from")))
            o.from = Day(parser, QStringLiteral("from"));
        if (parser.isSet(QStringLiteral("to")))
            o.to = Day(parser, QStringLiteral("to")) + 1; // the last day counts whole
        if (o.from && o.to && *o.to <= *o.from)
            throw UsageError(QStringLiteral("--to lies before --from."));
    } else if (!parser.isSet(QStringLiteral("all"))) {
        o.from = from;
        o.to = to;
    }
    // Over all the time there is, days would make thousands of columns: one per project instead.
    o.by = parser.isSet(QStringLiteral("all")) && !parser.isSet(QStringLiteral("by")) ? Grouping::Project
                                                                                      : Grouping::Day;
    if (parser.isSet(QStringLiteral("by")))
        o.by = Choice<Grouping>(
            parser, QStringLiteral("by"),
            {QStringLiteral("day"), QStringLiteral("week"), QStringLiteral("month"), QStringLiteral("project")},
            {Grouping::Day, Grouping::Week, Grouping::Month, Grouping::Project});
    o.format = Choice<Format>(parser, QStringLiteral("format"),
                              {QStringLiteral("table"), QStringLiteral("csv"), QStringLiteral("json")},
                              {Format::Table, Format::Csv, Format::Json});
    o.projects = parser.values(QStringLiteral("project"));
    return o;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tallyclock-report"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TALLYCLOCK_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Where the time went: the time of each project per day, week or month, from Tallyclock's database.\n"
        "Without options: this week, Monday to Sunday, per project and day, as a table.\n"
        "With the command \"periods\": the periods themselves (project, start, end, minutes)."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("periods"), QStringLiteral("List the periods instead of summing them."),
                                 QStringLiteral("[periods]"));
    parser.addOptions({
        {QStringLiteral("database"), QStringLiteral("The database file to read."), QStringLiteral("PATH")},
        {QStringLiteral("from"), QStringLiteral("The first day: 2026-12-01 or the regional date."),
         QStringLiteral("DATE")},
        {QStringLiteral("to"), QStringLiteral("The last day: 2026-12-07 or the regional date."),
         QStringLiteral("DATE")},
        {QStringLiteral("today"), QStringLiteral("Today only.")},
        {QStringLiteral("week"), QStringLiteral("This week, Monday to Sunday (the default).")},
        {QStringLiteral("month"), QStringLiteral("This month.")},
        {QStringLiteral("all"), QStringLiteral("All the time stored (by project unless --by says otherwise).")},
        {QStringLiteral("by"), QStringLiteral("Sum per day, week, month or project."),
         QStringLiteral("day|week|month|project")},
        {QStringLiteral("project"), QStringLiteral("Only this project; may be given more than once."),
         QStringLiteral("NAME")},
        {QStringLiteral("format"), QStringLiteral("The output: table, csv or json."), QStringLiteral("table|csv|json"),
         QStringLiteral("table")},
    });
    if (!parser.parse(QCoreApplication::arguments()))
        return Fail(parser.errorText(), kBadUsage);
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp(0);
    if (parser.isSet(QStringLiteral("version")))
        parser.showVersion();

    const QStringList command = parser.positionalArguments();
    if (command.size() > 1 || (command.size() == 1 && command.front() != QLatin1String("periods")))
        return Fail(QStringLiteral("Unknown command \"%1\"; the only command is \"periods\".")
                        .arg(command.join(QLatin1Char(' '))),
                    kBadUsage);
    ReportOptions options;
    try {
        options = ReadOptions(parser);
    } catch (const UsageError& e) {
        return Fail(QString::fromStdString(e.what()), kBadUsage);
    }

    QFile out;
    out.open(stdout, QIODevice::WriteOnly);
    try {
        Connection cn;
        OpenReportDatabase(cn, ReportDatabasePath(parser.value(QStringLiteral("database"))));
        if (command.isEmpty())
            WriteReport(BuildReport(cn, options), options.format, out);
        else
            WritePeriods(cn, options, out);
    } catch (const UsageError& e) {
        return Fail(QString::fromStdString(e.what()), kBadUsage);
    } catch (const AppError& e) {
        return Fail(QString::fromStdString(e.what()), kDatabaseFailed);
    }
    return 0;
}
