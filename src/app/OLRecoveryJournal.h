#pragma once

#include "app/OLSourceFile.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDateTime>
#include <QString>
#include <QThreadPool>

#include <functional>
#include <memory>
#include <vector>

struct OLJournalLock;

// A text that an Ostrel which ended without closing its window (killed, or
// crashed) left in its recovery journal.
struct OLRecoveredText {
    // The file now, against what it was when the edits began.
    enum class Origin {
        Untitled,  // a document never saved
        Unchanged, // the file holds what the edits started from
        Changed,   // another program has changed the file since
        Missing,   // the file is gone or cannot be read
    };

    QString file;            // empty for a document never saved
    qint64 fileSize = -1;    // the file when its text was last read or saved
    QDateTime fileModified;
    QByteArray fileSha256;
    QDateTime written;       // when the journal was last written
    OLSourceFile text;       // as saving would have written it: bytes, editor text and form
    Origin origin = Origin::Untitled;
    QString journal;         // the journal's path
    std::shared_ptr<OLJournalLock> lock; // held while this process decides
};

// The folder of the recovery journals and the one thread that writes and
// removes them, in the order asked, so that typing never waits for the disk
// and a removal never overtakes a write.
class OLRecoveryStore
{
public:
    explicit OLRecoveryStore(const QString &folder);
    // Waits for the journal work still queued.
    ~OLRecoveryStore();

    OLRecoveryStore(const OLRecoveryStore &) = delete;
    OLRecoveryStore &operator=(const OLRecoveryStore &) = delete;

    // The user's state folder: $XDG_STATE_HOME/Ostrel/recovery, by default
    // ~/.local/state/Ostrel/recovery.
    static QString standardFolder();
    const QString &folder() const { return m_folder; }

    // The journals that no running Ostrel holds, oldest first, each locked
    // by this process until it is discarded or the text is dropped. A journal
    // that cannot be read stays where it is, for the user to look at.
    std::vector<OLRecoveredText> leftBehind();
    // Removes the journal: the user has decided about its text.
    void discard(const OLRecoveredText &text);

    // Runs file work on the journal thread, after the work queued before.
    void enqueue(std::function<void()> work);
    void waitForDone();

private:
    QString m_folder;
    QThreadPool m_thread;
};

// The recovery journal of one window's unsaved text: a file in the store's
// folder, readable by its owner only, replaced as a whole on every write. A
// lock held for its life tells other Ostrel processes that it is in use.
class OLRecoveryJournal
{
    Q_DECLARE_TR_FUNCTIONS(OLRecoveryJournal)

public:
    // Told on the application's thread after each write, unless the journal
    // has gone by then: why it could not be written, or nothing.
    using Report = std::function<void(const QString &failure)>;

    // Made and used on the application's thread.
    explicit OLRecoveryJournal(OLRecoveryStore &store, Report written = {});
    // Removes the journal: its text was saved, or the user let it go.
    ~OLRecoveryJournal();

    OLRecoveryJournal(const OLRecoveryJournal &) = delete;
    OLRecoveryJournal &operator=(const OLRecoveryJournal &) = delete;

    const QString &path() const { return m_path; }

    // Records `text` in the form saving it through `source` would write, for
    // `file` (empty for a document never saved), whose text was `source`'s
    // when it was last read or saved, with the stamp it had then. The copies
    // taken here cost no more than the line ends; encoding, hashing and
    // writing happen on the store's thread.
    void write(const QString &file, const OLSourceFile &source, const QString &text, const OLFileStamp &stamp);

private:
    struct State;

    OLRecoveryStore &m_store;
    QString m_path;
    std::shared_ptr<State> m_state; // used on the store's thread only
};
