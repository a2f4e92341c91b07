#pragma once

#include "highlight/OLTextStorage.h"
#include "settings/OLUserDefaults.h"

#include <QDeadlineTimer>
#include <QStringList>
#include <QStringView>

#include <chrono>

// Colours Standard ML text in a text storage: keywords, strings and comments
// from a style set, and the background marks of evaluated, pending and failed
// declarations. It has no instances; its tables are built on first use.
//
// Colouring a range that reaches the end of the text (what the panes do after
// every edit) costs only what the edit changed; any other range is coloured
// pass by pass as described next to each pass.
class OLSyntaxHighlighter
{
public:
    using Range = OLTextStorage::Range;

    OLSyntaxHighlighter() = delete;

    // The 53 keywords, in order.
    static const QStringList &keywords();
    static bool isKeyword(QStringView word);
    // Word separators: "@!{}^#|_:;,.=<>~()" and white space and newlines.
    static bool isSeparator(QChar c);

    // The keyword pass, then the strings-and-comments pass, over `range`.
    static void highlightSyntaxFor(OLTextStorage &storage, Range range, const OLStyleSet &styles);
    // Gives `range` "regColor", then each whole word of it (words cut at the
    // range's ends) that is a keyword "keyColor".
    static void highLigthKeyWords(OLTextStorage &storage, Range range, const OLStyleSet &styles);
    // Colours strings "strColor" and comments "comColor", an unterminated one
    // "errColor" to the end of the text. The first quote or "(*" must lie in
    // the range; after that the scan follows the text to its end.
    static void highlightStringsAndComments(OLTextStorage &storage, Range range, const OLStyleSet &styles);

    static void setBackgroundColorFor(OLTextStorage &storage, Range range, const OLColor &color);
    static void removeBackgroundColorFor(OLTextStorage &storage, Range range);
    static void setErrorForegroundColor(OLTextStorage &storage, Range range, const OLStyleSet &styles);

    static OLColor lightGreen();
    static OLColor lightBlue();
    static OLColor lightRed();

    // highlightSyntaxFor over [location, end of text) in slices, for edits
    // that change the colour of much of the text (typing "(*" or a quote).
    // On return the colours before `settledUntil` (say, the end of the visible
    // part) are final; after that it works on for at most about `budget` and
    // leaves the rest pending. Returns the range whose colours changed.
    static std::optional<Range> beginHighlightSyntax(OLTextStorage &storage, qsizetype location,
                                                     const OLStyleSet &styles, qsizetype settledUntil,
                                                     std::chrono::nanoseconds budget);
    // Whether a sliced colouring has work left. Text edits keep that work: it
    // then colours the edited text. Any other foreground change first
    // completes it, and so does a colouring that starts after the part still
    // to be done; one that starts before it takes its place.
    static bool hasPendingHighlight(const OLTextStorage &storage);
    // The next slice of at most about `budget`; returns the changed range.
    static std::optional<Range> continueHighlightSyntax(OLTextStorage &storage,
                                                        std::chrono::nanoseconds budget);

private:
    static std::optional<Range> colourToEnd(OLTextStorage &storage, qsizetype location,
                                            const OLStyleSet &styles, qsizetype settledUntil,
                                            const QDeadlineTimer &deadline);
};
