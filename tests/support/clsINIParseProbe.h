#pragma once

#include "classes/clsINIParse.h"

#include <string>

// An INI object's tables as text, a line each, each led by a line break: "section|name=value" per
// variable in table order, then the comments: with numbers "number:text" in the order recorded;
// without, their texts, or with byNumber only the last recorded of each line number, in number order.
struct clsINIParseProbe
{
    static std::string Dump(const clsINIParse& p, bool numbered, bool byNumber = false)
    {
        std::string out;
        for (const auto& v : p.mVariables)
            out.append("\n")
                .append(p.mSections[v.section])
                .append("|")
                .append(v.text, v.nameLength + 1 + v.valueLength);
        for (std::size_t i = 0; i < (byNumber ? p.mCommentIndex.size() : p.mComments.size()); ++i) {
            const auto& c = p.mComments[byNumber ? p.mCommentIndex[i] : i];
            out.append("\n").append(numbered ? std::to_string(c.lineNumber) + ":" : "").append(c.text, c.length);
        }
        return out;
    }
};
