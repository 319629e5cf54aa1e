#pragma once

#include <QString>
#include <QStringView>

// Finds the end of a quoted run that starts at text[from], just past its opening mark, where
// the closing mark written twice stands for itself (SQL text, date patterns, braced values).
// Returns the position of the closing mark, or -1 when there is none; appends the run's
// text, with doubled marks made single, to *inner when given.
inline int ClosingQuote(QStringView text, int from, QChar quote, QString* inner = nullptr)
{
    const int n = static_cast<int>(text.size());
    for (int j = from; j < n; ++j) {
        if (text.at(j) == quote) {
            if (j + 1 >= n || text.at(j + 1) != quote)
                return j;
            ++j;
        }
        if (inner)
            *inner += text.at(j);
    }
    return -1;
}
