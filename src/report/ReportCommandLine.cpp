// The report's command line and its help, in the program's own words.

#include "platform/Regional.h"
#include "report/Report.h"
#include "report/ReportText.h"

#include <QCommandLineParser>

#include <cmath>

namespace {

void Describe(QCommandLineParser& parser)
{
    parser.addPositionalArgument(QStringLiteral("periods"),
                                 QStringLiteral("List the periods themselves, the export, rather than their sums."),
                                 QStringLiteral("[periods]"));
    parser.addOptions({
        {{QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Shows this text.")},
        {{QStringLiteral("v"), QStringLiteral("version")}, QStringLiteral("Shows the version.")},
        {QStringLiteral("database"), QStringLiteral("The database file to read."), QStringLiteral("PATH")},
        {QStringLiteral("today"), QStringLiteral("Today.")},
        {QStringLiteral("week"), QStringLiteral("This week so far, from Monday (the default).")},
        {QStringLiteral("month"), QStringLiteral("This month so far.")},
        {QStringLiteral("all"), QStringLiteral("All the time stored (by project unless --by says otherwise).")},
        {QStringLiteral("from"), QStringLiteral("The first day: 2026-12-01 or the regional date."),
         QStringLiteral("DATE")},
        {QStringLiteral("to"), QStringLiteral("The last day, included; days after today show only when named here."),
         QStringLiteral("DATE")},
        {QStringLiteral("by"),
         QStringLiteral("What each column sums (each row when the table turns): a day, week, month or the whole "
                        "span per project."),
         QStringLiteral("day|week|month|project")},
        {QStringLiteral("project"), QStringLiteral("Only this project; may be given more than once."),
         QStringLiteral("NAME")},
        {QStringLiteral("format"), QStringLiteral("The output: table, csv or json."), QStringLiteral("table|csv|json"),
         QStringLiteral("table")},
        {QStringLiteral("csv-safe"),
         QStringLiteral("In CSV, a name that begins with =, +, -, @, a tab or a carriage return gets a ' before it, "
                        "so that a spreadsheet does not take it for a formula.")},
    });
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

} // namespace

ReportRequest ReadReportCommandLine(const QStringList& arguments)
{
    QCommandLineParser parser;
    Describe(parser);
    if (!parser.parse(QStringList{QStringLiteral("tallyclock-report")} + arguments))
        throw UsageError(parser.errorText());
    ReportRequest request;
    request.help = parser.isSet(QStringLiteral("help"));
    request.version = parser.isSet(QStringLiteral("version"));
    const QStringList command = parser.positionalArguments();
    if (command.size() > 1 || (command.size() == 1 && command.front() != QLatin1String("periods")))
        throw UsageError(QStringLiteral("Unknown command \"%1\"; the only command is \"periods\".")
                             .arg(command.join(QLatin1Char(' '))));
    ReportOptions& o = request.options;
    o.periods = !command.isEmpty();
    request.database = parser.value(QStringLiteral("database"));

    const QStringList spans{QStringLiteral("today"), QStringLiteral("week"), QStringLiteral("month"),
                            QStringLiteral("all")};
    QStringList chosen;
    for (const QString& span : spans) {
        if (parser.isSet(span))
            chosen << QStringLiteral("--") + span;
    }
    const bool from = parser.isSet(QStringLiteral("from")), to = parser.isSet(QStringLiteral("to"));
    if (from || to)
        chosen << QStringLiteral("--from/--to");
    if (chosen.size() > 1)
        throw UsageError(QStringLiteral("Choose one span of time, not %1.").arg(chosen.join(QStringLiteral(" and "))));
    const double today = std::floor(CurrentMoment());
    if (from)
        o.from = Day(parser, QStringLiteral("from"));
    if (to)
        o.to = Day(parser, QStringLiteral("to")) + 1; // the last day counts whole
    o.toNamed = to;
    if (o.from && o.to && *o.to <= *o.from)
        throw UsageError(QStringLiteral("--to lies before --from."));
    if (parser.isSet(QStringLiteral("today"))) {
        o.from = today;
        o.to = today + 1;
    } else if (parser.isSet(QStringLiteral("month"))) {
        o.from = MonthStart(today);
        o.to = NextMonthStart(today);
    } else if (parser.isSet(QStringLiteral("week")) || (chosen.isEmpty() && !o.periods)) {
        // The export's default is every period; the report's, this week.
        o.from = WeekStart(today);
        o.to = *o.from + 7;
    }
    // Over all the time there is, days would make thousands of columns: one per project instead.
    o.by = parser.isSet(QStringLiteral("all")) ? Grouping::Project : Grouping::Day;
    if (parser.isSet(QStringLiteral("by")))
        o.by = Choice<Grouping>(
            parser, QStringLiteral("by"),
            {QStringLiteral("day"), QStringLiteral("week"), QStringLiteral("month"), QStringLiteral("project")},
            {Grouping::Day, Grouping::Week, Grouping::Month, Grouping::Project});
    o.format = Choice<Format>(parser, QStringLiteral("format"),
                              {QStringLiteral("table"), QStringLiteral("csv"), QStringLiteral("json")},
                              {Format::Table, Format::Csv, Format::Json});
    o.projects = parser.values(QStringLiteral("project"));
    o.csvSafe = parser.isSet(QStringLiteral("csv-safe"));
    return request;
}

QString ReportHelpText()
{
    const Notation text;
    const double monday = WeekStart(std::floor(CurrentMoment()));
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Where the time went, from Tallyclock's database, which it only reads: the time of\n"
                       "each project per day, week or month, or with \"periods\" the periods themselves.\n"
                       "Without options: this week so far, per project and day, as a table; \"periods\"\n"
                       "lists every period in time order, with each day's total.\n"
                       "Weeks are ISO weeks, Monday to Sunday, labelled like this one: \"%1\",\n"
                       "%2 to %3.\n"
                       "A table wider than the terminal (COLUMNS, else its width, else 100 characters)\n"
                       "turns: a row per day, week or month, a column per project, the largest first,\n"
                       "and those that do not fit together under \"Other\".\n"
                       "The database: --database, else %4.")
            .arg(text.Label(Grouping::Week, monday), text.Date(monday), text.Date(monday + 6),
                 ReportDatabasePath(QString())));
    Describe(parser);
    QString help = parser.helpText();
    // Qt names the program by the path it was started with.
    return QStringLiteral("Usage: tallyclock-report") + help.mid(help.indexOf(QLatin1String(" [options]")));
}
