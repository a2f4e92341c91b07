#pragma once

#include "session/OLInterpreterMode.h"
#include "settings/OLColor.h"

#include <QList>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QVariant>
#include <QVariantMap>

#include <memory>
#include <optional>

class QSettings;

// The font and colours shared by the editor, the console, the highlighter and
// the preferences window. An absent stored value leaves its member empty.
struct OLStyleSet {
    std::optional<OLColor> regColor; // plain text
    std::optional<OLColor> errColor; // errors, unterminated strings and comments
    std::optional<OLColor> keyColor; // keywords
    std::optional<OLColor> strColor; // string literals
    std::optional<OLColor> comColor; // comments
    QVariant name;                   // font family, as stored
    QVariant size;                   // points, as stored; readers use its integer value
    QVariant style;                  // the family's face, as stored; absent: its regular face

    friend bool operator==(const OLStyleSet &, const OLStyleSet &) = default;
};

// Font-trait mask bits applied to console answers and errors.
namespace OLFontTrait {
inline constexpr qint64 italic = 0x00000001;
inline constexpr qint64 bold = 0x00000002;
inline constexpr qint64 notBold = 0x00000004;
inline constexpr qint64 notItalic = 0x01000000;
} // namespace OLFontTrait

// The settings store: the user's layer (a QSettings) over a registered-defaults
// layer held in memory. Reads fall back on the registered layer; writes go to
// the user's layer. One instance is made at start-up and passed to whoever
// needs settings. A value that cannot be read as its type (a hand-edited file)
// falls back on the registered value, and without one reads as absent, false
// or 0.
class OLUserDefaults
{
public:
    explicit OLUserDefaults(QSettings &userLayer);

    // The user's layer of the application and the command-line tool:
    // ~/.config/Ostrel/Ostrel.conf (under QStandardPaths' test location in test mode).
    static std::unique_ptr<QSettings> openUserLayer();

    // Writes pending changes now and tells whether the settings file cannot
    // be written (an unwritable folder, a full disk). QSettings keeps its
    // first error, so once true this stays true for the run.
    bool lastWriteFailed();

    // The registered-defaults layer; registering merges into what is there.
    void registerDefaults(const QVariantMap &defaults);
    // Registers the "DefaultPreferences" resource.
    void registerDefaultPreferences();

    // The compiled-in resources "DefaultPreferences" and "StdInterpreterLocations".
    static QVariantMap defaultPreferences();
    static QVariantMap standardInterpreterLocations();
    // The first of an interpreter's locations (a URL, or a list of URLs to
    // try in turn) that names an existing local file; empty when none does.
    static QString existingLocation(const QVariant &locations);

    // Raw access: the user's value, else the registered one, else invalid.
    QVariant valueForKey(QAnyStringView key) const;
    // An invalid value removes the key from the user's layer.
    void setValue(const QVariant &value, QAnyStringView key);
    void removeObjectForKey(QAnyStringView key);

    // Typed reads: the user's value when it reads as the type, else the
    // registered one, else false, 0 or a null string.
    bool boolForKey(QAnyStringView key) const;
    qint64 integerForKey(QAnyStringView key) const;
    QString stringForKey(QAnyStringView key) const;

    // The preferred interpreter command line.
    QString loadPreferredInterpreterPath() const;
    void savePreferredInterpreter(const QString &commandLine);
    static QString keyForMode(OLInterpreterMode mode);

    // Style sets: opaque (alpha 1) or with the answer alpha.
    OLStyleSet loadFontAttributes(bool opaque) const;
    void saveFontAttributes(const OLStyleSet &styles);
    double loadAnswerAlpha() const;
    void saveAnswerAlpha(double alpha);
    qint64 loadAnswerFontTraits() const;
    void saveAnswerFontTraits(qint64 mask);
    qint64 loadErrorFontTraits() const;
    void saveErrorFontTraits(qint64 mask);
    // "%f %f %f 1.0" of red, green and blue; no colour gives black.
    static QString encodeColor(const std::optional<OLColor> &color);
    // Leniently: the text is split at single spaces and each of the first
    // three fields read as its longest numeric prefix in single precision (0
    // without one, and 0 for a number beyond single precision). Anything but
    // text of at least three fields gives no colour.
    static std::optional<OLColor> decodeColor(const QVariant &text, double alpha);

    // Per-mode paths, under the mode's key; nothing for a mode without a key.
    void savePath(const QUrl &url, OLInterpreterMode mode);
    void saveStandardPathForInterpreter(OLInterpreterMode mode);
    std::optional<QUrl> loadPathForInterpreter(OLInterpreterMode mode) const;
    // The keys of "StdInterpreterLocations" whose location exists, in key order.
    QStringList loadAccessibleStandardInterpreters() const;

    bool loadVerticalOrientation() const;
    void saveVerticalOrientation(bool vertical);
    // A document window's place (with its frame) and size (without); an
    // invalid rectangle when none is stored.
    QRect loadWindowGeometry() const;
    void saveWindowGeometry(const QRect &geometry);
    bool loadShouldHighlightSyntax() const;
    void saveShouldHighlightSyntax(bool highlight);
    bool loadShowLineNumbers() const;
    void saveShowLineNumbers(bool show);
    bool loadShouldReopenFiles() const;
    void saveShouldReopenFiles(bool reopen);
    // Stored strings that form no absolute URL are left out.
    QList<QUrl> loadOpenedFiles() const;
    void saveOpenedFiles(const QList<QUrl> &files);
    bool loadShouldRestoreCommitHistory() const;
    void saveShouldRestoreCommitHistory(bool restore);
    QStringList loadCommitHistory() const;
    void saveCommitHistory(const QStringList &history);
    qint64 loadMaximumCommitHistoryLength() const;
    void saveMaximumCommitHistoryLength(qint64 length);
    // The console's bound on its text; an absent or non-positive value gives
    // the default, since a console that keeps nothing cannot show its output.
    // Qt's text document compacts its buffer on every edit while the text
    // fills more than 0.9 of a power-of-two allocation; a bound just under
    // 2^k / 2 units (2M is one) keeps it there and makes trimming slow.
    static constexpr qint64 defaultMaximumConsoleLength = 1'500'000;
    qint64 loadMaximumConsoleLength() const;
    void saveMaximumConsoleLength(qint64 length);

private:
    QSettings &m_user;
    QVariantMap m_registered;
};

// The one place that turns a stored URL into a file path: "file://localhost/x"
// and "file:///x" both give "/x" (QUrl alone gives "//localhost/x"). Empty for
// another host, another scheme or a path that is not absolute.
QString localPathForUrl(const QUrl &url);
