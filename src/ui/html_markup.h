// The small mark-up of the dialog's text layers: plain text with tags such as
// "<b>", "<font color=RRGGBB size=14 face='Courier New'>", "<br>",
// "<align typeh=center>", "<spacer size=10%>" and their closing forms.
#pragma once

#include <string>
#include <vector>

enum class EHtmlTag {
    Bold,        // "b"
    Italic,      // "i"
    Underline,   // "u"
    StrikeOut,   // "s"
    Font,        // "font": face, size, color
    Break,       // "br"
    LineHeight,  // "lhi": size
    Align,       // "align": typeh, typel, typev
    Spacer,      // "spacer": size
};

// Tag and attribute names longer than this are skipped.
const size_t kMaxHtmlNameLength = 8;

struct SHtmlAttribute {
    std::wstring name;
    std::wstring value;
};

// One piece of mark-up: a stretch of plain text or one known tag.
struct SHtmlToken {
    bool isTag = false;
    std::wstring text;  // plain text; empty for a tag
    EHtmlTag tag = EHtmlTag::Bold;
    bool closing = false;
    std::vector<SHtmlAttribute> attributes;  // in the order written
};

// Splits mark-up into text and tags. A tag is '<', an optional '/', the name
// up to the first space or '>', attributes name=value separated by spaces
// (a value may be quoted with ' or " to hold spaces), and '>'. Names are
// compared exactly. Unknown tags and tags with names longer than
// kMaxHtmlNameLength are dropped, as are attributes with such names. A '<'
// without a '>' after it ends the text: nothing from it on is returned.
std::vector<SHtmlToken> ParseHtmlMarkup(const std::wstring& markup);

// Returns the value of the first attribute called name, or null.
const std::wstring* FindHtmlAttribute(const SHtmlToken& token, const std::wstring& name);
