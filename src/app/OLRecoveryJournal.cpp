#include "app/OLRecoveryJournal.h"

#include "app/OLFileName.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QUuid>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {
Q_LOGGING_CATEGORY(lcRecovery, "ostrel.recovery")

// A journal is this line, one line of JSON about the text, then the text.
const QByteArray journalMagic("OSTREL-RECOVERY-JOURNAL 1\n");
const QString journalSuffix = QStringLiteral(".journal");
const QString lockSuffix = QStringLiteral(".lock");

namespace Field {
const QString file = QStringLiteral("file");
const QString fileBytes = QStringLiteral("fileBytes"); // base64, for a name that is not UTF-8
const QString size = QStringLiteral("size");
const QString modified = QStringLiteral("modified");
const QString sha256 = QStringLiteral("sha256");
const QString written = QStringLiteral("written");
const QString length = QStringLiteral("length");
} // namespace Field

constexpr QFile::Permissions ownerOnly = QFile::ReadOwner | QFile::WriteOwner;

QByteArray sha256(const QByteArray &bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256);
}

QString isoTime(const QDateTime &time)
{
    return time.toUTC().toString(Qt::ISODateWithMs);
}

bool makeFolder(const QString &folder)
{
    if (!QDir().mkpath(folder))
        return false;
    QFile::setPermissions(folder, ownerOnly | QFile::ExeOwner);
    return true;
}
} // namespace

// An exclusive flock on `<journal>.lock`: the kernel lets it go when the
// process ends, however it ends.
struct OLJournalLock {
    explicit OLJournalLock(const QString &path)
        : fd(::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600))
    {
        if (fd < 0) {
            error = errno;
        } else if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            error = errno;
            ::close(fd);
            fd = -1;
        }
    }
    ~OLJournalLock()
    {
        if (fd >= 0)
            ::close(fd);
    }
    OLJournalLock(const OLJournalLock &) = delete;
    OLJournalLock &operator=(const OLJournalLock &) = delete;

    bool isHeld() const { return fd >= 0; }

    int fd;
    int error = 0;
};

namespace {
// Removes a journal, then its lock file while still holding the lock.
void removeJournal(const QString &journal, const OLJournalLock *lock)
{
    if (QFile::exists(journal) && !QFile::remove(journal))
        qCWarning(lcRecovery) << "Cannot remove the recovery journal" << journal;
    if (lock && lock->isHeld())
        QFile::remove(journal + lockSuffix);
}

// The journal's text and what it says of its file; nothing when it cannot
// be read as a whole.
std::optional<OLRecoveredText> readJournal(const QString &path)
{
    QString error;
    const QByteArray all = OLSourceFile::readBytes(path, &error).value_or(QByteArray());
    if (!all.startsWith(journalMagic))
        return std::nullopt;
    const qsizetype headerEnd = all.indexOf('\n', journalMagic.size());
    if (headerEnd < 0)
        return std::nullopt;
    const QJsonObject header
        = QJsonDocument::fromJson(all.sliced(journalMagic.size(), headerEnd - journalMagic.size())).object();
    const QByteArray bytes = all.sliced(headerEnd + 1);
    if (!header.value(Field::file).isString() || header.value(Field::length).toInteger(-1) != bytes.size())
        return std::nullopt;
    std::optional<OLSourceFile> text = OLSourceFile::fromBytes(bytes, &error);
    if (!text)
        return std::nullopt;

    OLRecoveredText recovered;
    const QByteArray fileBytes = QByteArray::fromBase64(header.value(Field::fileBytes).toString().toLatin1());
    recovered.file = header.contains(Field::fileBytes) ? OLFileName::decode(fileBytes)
                                                       : header.value(Field::file).toString();
    recovered.fileSize = header.value(Field::size).toInteger(-1);
    recovered.fileModified = QDateTime::fromString(header.value(Field::modified).toString(), Qt::ISODateWithMs);
    recovered.fileSha256 = QByteArray::fromHex(header.value(Field::sha256).toString().toLatin1());
    recovered.written = QDateTime::fromString(header.value(Field::written).toString(), Qt::ISODateWithMs);
    recovered.text = std::move(*text);
    recovered.journal = path;
    return recovered;
}

OLRecoveredText::Origin originOf(const OLRecoveredText &text)
{
    using Origin = OLRecoveredText::Origin;
    if (text.file.isEmpty())
        return Origin::Untitled;
    QString error;
    const std::optional<QByteArray> bytes = OLSourceFile::readBytes(text.file, &error);
    if (!bytes)
        return Origin::Missing;
    return bytes->size() == text.fileSize && sha256(*bytes) == text.fileSha256 ? Origin::Unchanged : Origin::Changed;
}
} // namespace

OLRecoveryStore::OLRecoveryStore(const QString &folder)
    : m_folder(folder)
{
    m_thread.setMaxThreadCount(1);
}

OLRecoveryStore::~OLRecoveryStore()
{
    waitForDone();
}

QString OLRecoveryStore::standardFolder()
{
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty() || QDir::isRelativePath(state))
        state = QDir::homePath() + QStringLiteral("/.local/state");
    return state + QStringLiteral("/Ostrel/recovery");
}

std::vector<OLRecoveredText> OLRecoveryStore::leftBehind()
{
    std::vector<OLRecoveredText> texts;
    const QDir folder(m_folder);
    const QFileInfoList journals = folder.entryInfoList({QLatin1Char('*') + journalSuffix}, QDir::Files | QDir::Hidden,
                                                        QDir::Time | QDir::Reversed);
    for (const QFileInfo &journal : journals) {
        const QString path = journal.absoluteFilePath();
        auto lock = std::make_shared<OLJournalLock>(path + lockSuffix);
        if (!lock->isHeld())
            continue; // a running Ostrel's
        std::optional<OLRecoveredText> text = readJournal(path);
        if (!text) {
            if (QFile::exists(path))
                qCWarning(lcRecovery) << "Cannot read the recovery journal" << path << "- it is left as it is";
            else
                removeJournal(path, lock.get()); // removed while this looked at it
            continue;
        }
        text->origin = originOf(*text);
        text->lock = std::move(lock);
        texts.push_back(std::move(*text));
    }
    // Locks whose journal never came or has gone, left by a process that
    // ended in between.
    for (const QString &name : folder.entryList({QLatin1Char('*') + journalSuffix + lockSuffix}, QDir::Files | QDir::Hidden)) {
        const QString journal = folder.filePath(name.chopped(lockSuffix.size()));
        if (QFile::exists(journal))
            continue;
        const OLJournalLock lock(folder.filePath(name));
        if (lock.isHeld())
            removeJournal(journal, &lock);
    }
    return texts;
}

void OLRecoveryStore::discard(const OLRecoveredText &text)
{
    enqueue([journal = text.journal, lock = text.lock] { removeJournal(journal, lock.get()); });
}

void OLRecoveryStore::enqueue(std::function<void()> work)
{
    m_thread.start(std::move(work));
}

void OLRecoveryStore::waitForDone()
{
    m_thread.waitForDone();
}

struct OLRecoveryJournal::State {
    // On the store's thread:
    std::unique_ptr<OLJournalLock> lock;
    // The hash of the bytes last read or saved, computed once for them.
    QByteArray hashedBytes;
    QByteArray hash;
    bool failureLogged = false;
    // On the application's thread:
    Report written;
    bool gone = false;
};

OLRecoveryJournal::OLRecoveryJournal(OLRecoveryStore &store, Report written)
    : m_store(store)
    , m_path(QDir(store.folder()).filePath(QUuid::createUuid().toString(QUuid::WithoutBraces) + journalSuffix))
    , m_state(std::make_shared<State>())
{
    m_state->written = std::move(written);
}

OLRecoveryJournal::~OLRecoveryJournal()
{
    m_state->gone = true;
    m_store.enqueue([path = m_path, state = m_state] { removeJournal(path, state->lock.get()); });
}

void OLRecoveryJournal::write(const QString &file, const OLSourceFile &source, const QString &text,
                              const OLFileStamp &stamp)
{
    m_store.enqueue([path = m_path, folder = m_store.folder(), state = m_state, file, source, text, stamp] {
        const auto report = [&state](const QString &failure) {
            if (!state->written)
                return;
            QMetaObject::invokeMethod(
                QCoreApplication::instance(),
                [state, failure] {
                    if (!state->gone)
                        state->written(failure);
                },
                Qt::QueuedConnection);
        };
        const auto fail = [&](const QString &reason) {
            if (!std::exchange(state->failureLogged, true))
                qCWarning(lcRecovery) << "Cannot write the recovery journal" << path << reason;
            report(reason);
        };
        // The lock comes first: a journal is never seen without it.
        if (!state->lock || !state->lock->isHeld()) {
            if (!makeFolder(folder))
                return fail(tr("The folder %1 cannot be made.").arg(folder));
            state->lock = std::make_unique<OLJournalLock>(path + lockSuffix);
            if (!state->lock->isHeld()) {
                const QString reason = QString::fromLocal8Bit(::strerror(state->lock->error));
                return fail(tr("%1 cannot be written: %2").arg(path, reason));
            }
        }

        const QByteArray bytes = source.encode(text);
        if (!file.isEmpty() && !source.bytes().isSharedWith(state->hashedBytes)) {
            state->hashedBytes = source.bytes();
            state->hash = sha256(source.bytes());
        }
        QJsonObject header;
        header.insert(Field::file, file);
        if (OLFileName::hasForeignBytes(file))
            header.insert(Field::fileBytes, QString::fromLatin1(OLFileName::encode(file).toBase64()));
        header.insert(Field::size, stamp.size);
        header.insert(Field::modified, stamp.exists() ? isoTime(stamp.modified()) : QString());
        header.insert(Field::sha256, file.isEmpty() ? QString() : QString::fromLatin1(state->hash.toHex()));
        header.insert(Field::written, isoTime(QDateTime::currentDateTimeUtc()));
        header.insert(Field::length, bytes.size());

        QString error;
        if (!OLSourceFile::write(path, journalMagic + QJsonDocument(header).toJson(QJsonDocument::Compact) + '\n' + bytes,
                                 &error, ownerOnly))
            return fail(tr("%1 cannot be written: %2").arg(path, error));
        state->failureLogged = false;
        report(QString());
    });
}
