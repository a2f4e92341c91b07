#include "settings/OLUserDefaults.h"

#include "settings/OLPropertyList.h"
#include "settings/OLSettingsKeys.h"
#include "settings/OLSettingsValue.h"

#include <QFileInfo>
#include <QSettings>

#include <array>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <limits>
#include <utility>

using namespace OLSettingsValue;

namespace {

// The colours of a style set in the order the store reads and writes them.
constexpr std::array<std::pair<std::optional<OLColor> OLStyleSet::*, QLatin1StringView>, 5> styleColors{{
    {&OLStyleSet::regColor, OLKey::regColor},
    {&OLStyleSet::errColor, OLKey::errColor},
    {&OLStyleSet::keyColor, OLKey::keyColor},
    {&OLStyleSet::comColor, OLKey::comColor},
    {&OLStyleSet::strColor, OLKey::strColor},
}};

// The user's value when it converts, else the registered one.
template <typename Convert>
auto readLayers(const QSettings &user, const QVariantMap &registered, QAnyStringView key, Convert convert)
    -> decltype(convert(QVariant()))
{
    if (user.contains(key)) {
        if (auto value = convert(user.value(key)))
            return value;
    }
    return convert(registered.value(key.toString()));
}

bool isAsciiDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

// The longest prefix of the field that forms a decimal number, after white
// space, read as single precision; 0 when there is none or it does not fit.
double scanFloat(QStringView field)
{
    qsizetype i = 0;
    while (i < field.size() && field.at(i).isSpace())
        ++i;
    qsizetype start = i;
    if (i < field.size() && (field.at(i) == u'+' || field.at(i) == u'-')) {
        if (field.at(i) == u'+')
            start = i + 1; // std::from_chars takes no plus sign
        ++i;
    }
    qsizetype digits = 0;
    for (; i < field.size() && isAsciiDigit(field.at(i)); ++i)
        ++digits;
    if (i < field.size() && field.at(i) == u'.') {
        qsizetype j = i + 1;
        for (; j < field.size() && isAsciiDigit(field.at(j)); ++j)
            ++digits;
        if (digits > 0)
            i = j;
    }
    if (digits == 0)
        return 0;
    if (i < field.size() && (field.at(i) == u'e' || field.at(i) == u'E')) {
        qsizetype j = i + 1;
        if (j < field.size() && (field.at(j) == u'+' || field.at(j) == u'-'))
            ++j;
        const qsizetype exponentStart = j;
        while (j < field.size() && isAsciiDigit(field.at(j)))
            ++j;
        if (j > exponentStart)
            i = j;
    }
    const QByteArray number = field.sliced(start, i - start).toLatin1();
    float value = 0;
    const auto [end, error] = std::from_chars(number.constData(), number.constData() + number.size(), value);
    return error == std::errc() ? double(value) : 0.0;
}

// Narrowing to single precision; a number beyond it reads as no number.
std::optional<double> singlePrecision(const QVariant &value)
{
    const std::optional<double> real = toReal(value);
    if (!real || std::fabs(*real) > FLT_MAX)
        return std::nullopt;
    return double(float(*real));
}

// A stored string as a URL; relative or malformed text is no URL.
std::optional<QUrl> urlFromString(const QString &text)
{
    const QUrl url(text);
    if (!url.isValid() || url.isRelative())
        return std::nullopt;
    return url;
}

} // namespace

OLUserDefaults::OLUserDefaults(QSettings &userLayer)
    : m_user(userLayer)
{
}

std::unique_ptr<QSettings> OLUserDefaults::openUserLayer()
{
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                       QStringLiteral("Ostrel"), QStringLiteral("Ostrel"));
}

bool OLUserDefaults::lastWriteFailed()
{
    m_user.sync();
    // A file that could not be parsed masks later errors in status(), so the
    // folder is probed as well.
    return m_user.status() == QSettings::AccessError || !m_user.isWritable();
}

void OLUserDefaults::registerDefaults(const QVariantMap &defaults)
{
    for (auto it = defaults.cbegin(); it != defaults.cend(); ++it)
        m_registered.insert(it.key(), it.value());
}

void OLUserDefaults::registerDefaultPreferences()
{
    registerDefaults(defaultPreferences());
}

QVariantMap OLUserDefaults::defaultPreferences()
{
    return readPropertyListResource(OLResource::defaultPreferences);
}

QVariantMap OLUserDefaults::standardInterpreterLocations()
{
    return readPropertyListResource(OLResource::stdInterpreterLocations);
}

QVariant OLUserDefaults::valueForKey(QAnyStringView key) const
{
    if (m_user.contains(key))
        return m_user.value(key);
    return m_registered.value(key.toString());
}

void OLUserDefaults::setValue(const QVariant &value, QAnyStringView key)
{
    if (!value.isValid())
        m_user.remove(key);
    else
        m_user.setValue(key, value);
}

void OLUserDefaults::removeObjectForKey(QAnyStringView key)
{
    m_user.remove(key);
}

bool OLUserDefaults::boolForKey(QAnyStringView key) const
{
    return readLayers(m_user, m_registered, key, toBool).value_or(false);
}

qint64 OLUserDefaults::integerForKey(QAnyStringView key) const
{
    return readLayers(m_user, m_registered, key, toInteger).value_or(0);
}

QString OLUserDefaults::stringForKey(QAnyStringView key) const
{
    return readLayers(m_user, m_registered, key, toString).value_or(QString());
}

QString OLUserDefaults::loadPreferredInterpreterPath() const
{
    return stringForKey(OLKey::preferredInterpreter);
}

void OLUserDefaults::savePreferredInterpreter(const QString &commandLine)
{
    setValue(commandLine.isNull() ? QVariant() : QVariant(commandLine), OLKey::preferredInterpreter);
}

QString OLUserDefaults::keyForMode(OLInterpreterMode mode)
{
    if (mode < OLMosML || mode > OLUnknownMode)
        return {};
    return QString(OLKey::modeKeys[mode]);
}

OLStyleSet OLUserDefaults::loadFontAttributes(bool opaque) const
{
    const double alpha = opaque ? 1.0 : loadAnswerAlpha();
    const auto decode = [alpha](const QVariant &text) { return decodeColor(text, alpha); };
    OLStyleSet styles;
    for (const auto &[member, key] : styleColors)
        styles.*member = readLayers(m_user, m_registered, key, decode);
    if (const std::optional<QString> name = readLayers(m_user, m_registered, OLKey::fontName, toString))
        styles.name = *name;
    if (const std::optional<QVariant> size = readLayers(m_user, m_registered, OLKey::fontSize, toNumber))
        styles.size = *size;
    if (const std::optional<QString> style = readLayers(m_user, m_registered, OLKey::fontStyle, toString))
        styles.style = *style;
    return styles;
}

void OLUserDefaults::saveFontAttributes(const OLStyleSet &styles)
{
    for (const auto &[member, key] : styleColors)
        setValue(encodeColor(styles.*member), key);
    setValue(styles.name, OLKey::fontName);
    setValue(styles.size, OLKey::fontSize);
    setValue(styles.style, OLKey::fontStyle);
}

double OLUserDefaults::loadAnswerAlpha() const
{
    return readLayers(m_user, m_registered, OLKey::outAlpha, singlePrecision).value_or(0.0);
}

void OLUserDefaults::saveAnswerAlpha(double alpha)
{
    // What single precision cannot hold is stored as infinity, which reads back as no value.
    const float narrowed = std::fabs(alpha) <= FLT_MAX ? float(alpha) : std::numeric_limits<float>::infinity();
    setValue(QVariant(narrowed), OLKey::outAlpha);
}

qint64 OLUserDefaults::loadAnswerFontTraits() const
{
    return integerForKey(OLKey::ansFontTraits);
}

void OLUserDefaults::saveAnswerFontTraits(qint64 mask)
{
    setValue(QVariant(qlonglong(mask)), OLKey::ansFontTraits);
}

qint64 OLUserDefaults::loadErrorFontTraits() const
{
    return integerForKey(OLKey::errFontTraits);
}

void OLUserDefaults::saveErrorFontTraits(qint64 mask)
{
    setValue(QVariant(qlonglong(mask)), OLKey::errFontTraits);
}

QString OLUserDefaults::encodeColor(const std::optional<OLColor> &color)
{
    const OLColor components = color.value_or(OLColor{0, 0, 0, 0});
    // QString::asprintf formats in the C locale, whatever the user's.
    return QString::asprintf("%f %f %f 1.0", components.red, components.green, components.blue);
}

std::optional<OLColor> OLUserDefaults::decodeColor(const QVariant &text, double alpha)
{
    const std::optional<QString> string = toString(text);
    if (!string)
        return std::nullopt;
    const QList<QStringView> fields = QStringView(*string).split(u' ');
    if (fields.size() < 3)
        return std::nullopt;
    return OLColor{scanFloat(fields.at(0)), scanFloat(fields.at(1)), scanFloat(fields.at(2)), alpha};
}

void OLUserDefaults::savePath(const QUrl &url, OLInterpreterMode mode)
{
    const QString key = keyForMode(mode);
    if (key.isEmpty())
        return;
    setValue(url.isEmpty() ? QVariant() : QVariant(url.toString(QUrl::FullyEncoded)), key);
}

void OLUserDefaults::saveStandardPathForInterpreter(OLInterpreterMode mode)
{
    const QString key = keyForMode(mode);
    if (key.isEmpty())
        return;
    setValue(standardInterpreterLocations().value(key), key);
}

std::optional<QUrl> OLUserDefaults::loadPathForInterpreter(OLInterpreterMode mode) const
{
    const QString key = keyForMode(mode);
    if (key.isEmpty())
        return std::nullopt;
    const std::optional<QString> text = readLayers(m_user, m_registered, key, toString);
    return text ? urlFromString(*text) : std::nullopt;
}

QString OLUserDefaults::existingLocation(const QVariant &locations)
{
    for (const QString &location : locations.toStringList()) {
        const std::optional<QUrl> url = urlFromString(location);
        const QString path = url ? localPathForUrl(*url) : QString();
        if (!path.isEmpty() && QFileInfo::exists(path))
            return location;
    }
    return QString();
}

QStringList OLUserDefaults::loadAccessibleStandardInterpreters() const
{
    const QVariantMap locations = standardInterpreterLocations();
    QStringList accessible;
    for (auto it = locations.cbegin(); it != locations.cend(); ++it) {
        if (!existingLocation(it.value()).isEmpty())
            accessible.append(it.key());
    }
    return accessible;
}

bool OLUserDefaults::loadVerticalOrientation() const
{
    return boolForKey(OLKey::verticalOrientation);
}

void OLUserDefaults::saveVerticalOrientation(bool vertical)
{
    setValue(vertical, OLKey::verticalOrientation);
}

QRect OLUserDefaults::loadWindowGeometry() const
{
    const QVariant stored = valueForKey(OLKey::windowGeometry);
    return stored.typeId() == QMetaType::QRect ? stored.toRect() : QRect();
}

void OLUserDefaults::saveWindowGeometry(const QRect &geometry)
{
    setValue(geometry, OLKey::windowGeometry);
}

bool OLUserDefaults::loadShouldHighlightSyntax() const
{
    return boolForKey(OLKey::shouldHighlightSyntax);
}

void OLUserDefaults::saveShouldHighlightSyntax(bool highlight)
{
    setValue(highlight, OLKey::shouldHighlightSyntax);
}

bool OLUserDefaults::loadShowLineNumbers() const
{
    return boolForKey(OLKey::showLineNumbers);
}

void OLUserDefaults::saveShowLineNumbers(bool show)
{
    setValue(show, OLKey::showLineNumbers);
}

bool OLUserDefaults::loadShouldReopenFiles() const
{
    return boolForKey(OLKey::shouldReopenFiles);
}

void OLUserDefaults::saveShouldReopenFiles(bool reopen)
{
    setValue(reopen, OLKey::shouldReopenFiles);
}

QList<QUrl> OLUserDefaults::loadOpenedFiles() const
{
    QList<QUrl> files;
    const QStringList stored = readLayers(m_user, m_registered, OLKey::openedFiles, toStringList).value_or(QStringList());
    for (const QString &text : stored) {
        if (const std::optional<QUrl> url = urlFromString(text))
            files.append(*url);
    }
    return files;
}

void OLUserDefaults::saveOpenedFiles(const QList<QUrl> &files)
{
    QStringList strings;
    for (const QUrl &url : files)
        strings.append(url.toString(QUrl::FullyEncoded));
    setValue(strings, OLKey::openedFiles);
}

bool OLUserDefaults::loadShouldRestoreCommitHistory() const
{
    return boolForKey(OLKey::shouldRestoreCommitHistory);
}

void OLUserDefaults::saveShouldRestoreCommitHistory(bool restore)
{
    setValue(restore, OLKey::shouldRestoreCommitHistory);
}

QStringList OLUserDefaults::loadCommitHistory() const
{
    return readLayers(m_user, m_registered, OLKey::commitHistory, toStringList).value_or(QStringList());
}

void OLUserDefaults::saveCommitHistory(const QStringList &history)
{
    setValue(history, OLKey::commitHistory);
}

qint64 OLUserDefaults::loadMaximumCommitHistoryLength() const
{
    return integerForKey(OLKey::maximumCommitHistoryLength);
}

void OLUserDefaults::saveMaximumCommitHistoryLength(qint64 length)
{
    setValue(QVariant(qlonglong(length)), OLKey::maximumCommitHistoryLength);
}

qint64 OLUserDefaults::loadMaximumConsoleLength() const
{
    const qint64 length = integerForKey(OLKey::maximumConsoleLength);
    return length > 0 ? length : defaultMaximumConsoleLength;
}

void OLUserDefaults::saveMaximumConsoleLength(qint64 length)
{
    setValue(QVariant(qlonglong(length)), OLKey::maximumConsoleLength);
}

QString localPathForUrl(const QUrl &url)
{
    // QUrl keeps schemes and hosts in lower case.
    if (!url.isValid() || url.scheme() != u"file")
        return {};
    if (!url.host().isEmpty() && url.host() != u"localhost")
        return {};
    QUrl local(url);
    local.setHost(QString());
    const QString path = local.toLocalFile();
    return path.startsWith(u'/') ? path : QString();
}
