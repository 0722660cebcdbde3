#include "platform/ui/fltk/FltkText.h"

namespace ui::fltk {

namespace {

bool IsAsciiLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    return text;
}

// One pattern: letters as a set of both cases (lower first), reserved characters as '?'.
std::string CaseFreePattern(std::string_view pattern) {
    std::string out;
    for (const char c : pattern) {
        if (IsAsciiLetter(c)) {
            out += '[';
            out += Lower(c);
            out += char(Lower(c) - 'a' + 'A');
            out += ']';
            continue;
        }
        switch (c) {
            // fl_filename_match: sets, alternatives, quoting.
            case '[':
            case ']':
            case '{':
            case '}':
            case ',':
            case '|':
            case '\\':
            // The chooser's filter and menu: entry breaks, the pattern's parentheses, paths,
            // shortcuts.
            case '\t':
            case '\r':
            case '\n':
            case '(':
            case ')':
            case '/':
            case '&':
                out += '?';
                break;
            default:
                out += c;
        }
    }
    return out;
}

} // namespace

std::string Label(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '@') {
            out += "@@";
        } else if (c == '\r') {
            out += '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else {
            out += c;
        }
    }
    return out;
}

std::string MenuItem(std::string_view text) {
    std::string out;
    for (const char c : Label(text)) {
        out += c;
        if (c == '&')
            out += '&';
    }
    return out;
}

std::string Patterns(std::string_view patterns) {
    std::string joined;
    int count = 0;
    bool everything = false;
    while (true) {
        const size_t end = patterns.find(';');
        const std::string_view pattern = TrimBlanks(patterns.substr(0, end));
        if (!pattern.empty()) {
            if (count++)
                joined += ',';
            if (pattern == "*.*") {
                everything = true;
                joined += '*';
            } else {
                joined += CaseFreePattern(pattern);
            }
        }
        if (end == std::string_view::npos)
            break;
        patterns.remove_prefix(end + 1);
    }
    if (count == 0 || everything)
        return "*";
    return count == 1 ? joined : "{" + joined + "}";
}

std::string Filter(std::string_view description, std::string_view patterns) {
    // The native chooser's filter parser ends the description at a tab and drops a backslash
    // before any character; FLTK's chooser then turns backslashes into '/' (and quotes '/'
    // itself), adds the entry to a menu that splits at '|', makes a leading '_' a divider and
    // draws '&' and '@' as marks.
    std::string out;
    for (const char c : description) {
        switch (c) {
            case '(':
                out += '[';
                break;
            case ')':
                out += ']';
                break;
            case '\t':
            case '\r':
            case '\n':
                out += ' ';
                break;
            case '\\':
                out += '/';
                break;
            case '|':
                out += "\xC2\xA6"; // a broken bar
                break;
            case '&':
                out += "&&";
                break;
            case '@':
                out += "@@";
                break;
            case '_':
                if (out.empty())
                    out += ' ';
                out += '_';
                break;
            default:
                out += c;
        }
    }
    return out + "\t" + Patterns(patterns);
}

} // namespace ui::fltk
