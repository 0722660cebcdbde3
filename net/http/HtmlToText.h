#pragma once
// The tag stripper used on the master server's simple pages, in place over a narrow string.
//
// Tags ('<' to '>') are dropped, each '<' standing for one blank. A tag whose first four
// characters are "head" (any case) stops the keeping of text, one that starts with "body" starts
// it again; closing tags change nothing. With collapseBlanks a blank or tab follows no other
// blank or tab and leading ones go. Line ends are ordinary characters.
#include "core/base/ClassicString.h"

void HtmlToText(CClassicString& text, bool collapseBlanks);
