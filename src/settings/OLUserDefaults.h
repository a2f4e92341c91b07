#pragma once

#include "session/OLInterpreterMode.h"
#include "settings/OLColor.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QVariant>
#include <QVariantMap>

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
// needs settings. Values that cannot be read (a hand-edited file) read as
// absent, false or 0.
class OLUserDefaults
{
public:
    explicit OLUserDefaults(QSettings &userLayer);

    // The registered-defaults layer.
    void registerDefaults(const QVariantMap &defaults);
    // Registers the "DefaultPreferences" resource.
    void registerDefaultPreferences();
    QVariantMap registeredDefaults() const { return m_registered; }

    // Raw access: the user's value, else the registered one, else invalid.
    QVariant valueForKey(QLatin1StringView key) const;
    // An invalid value removes the key from the user's layer.
    void setValue(const QVariant &value, QLatin1StringView key);
    void removeObjectForKey(QLatin1StringView key);

    // The preferred interpreter command line.
    QString loadPreferredInterpreterPath() const;
    void savePreferredInterpreter(const QString &commandLine);
    static QString keyForMode(OLInterpreterMode mode);
    static OLInterpreterMode modeForKey(const QString &key);

    // Style sets: opaque (alpha 1) or with the answer alpha.
    OLStyleSet loadFontAttributes(bool opaque) const;
    void saveFontAttributes(const OLStyleSet &styles);
    double loadAnswerAlpha() const;
    void saveAnswerAlpha(double alpha);
    qint64 loadAnswerFontTraits() const;
    void saveAnswerFontTraits(qint64 mask);
    qint64 loadErrorFontTraits() const;
    void saveErrorFontTraits(qint64 mask);
    static QString encodeColor(const std::optional<OLColor> &color);
    static std::optional<OLColor> decodeColor(const QVariant &text, double alpha);

    // Per-mode paths and the standard locations resource.
    void savePath(const QUrl &url, OLInterpreterMode mode);
    void saveStandardPathForInterpreter(OLInterpreterMode mode);
    std::optional<QUrl> loadPathForInterpreter(OLInterpreterMode mode) const;
    QStringList loadAccessibleStandardInterpreters() const;

    bool loadVerticalOrientation() const;
    void saveVerticalOrientation(bool vertical);
    bool loadShouldHighlightSyntax() const;
    void saveShouldHighlightSyntax(bool highlight);
    bool loadShouldReopenFiles() const;
    void saveShouldReopenFiles(bool reopen);
    QList<QUrl> loadOpenedFiles() const;
    void saveOpenedFiles(const QList<QUrl> &files);
    bool loadShouldRestoreCommitHistory() const;
    void saveShouldRestoreCommitHistory(bool restore);
    QStringList loadCommitHistory() const;
    void saveCommitHistory(const QStringList &history);
    qint64 loadMaximumCommitHistoryLength() const;
    void saveMaximumCommitHistoryLength(qint64 length);

private:
    QSettings &m_user;
    QVariantMap m_registered;
};

// "file://localhost/usr/bin/poly" names a local file; QUrl alone would treat
// "localhost" as a remote host. Empty when the URL names no local file.
QString localPathForUrl(const QUrl &url);
