#pragma once

#include <QString>
#include <QStringList>

class OLUserDefaults;

// What a commit history needs of its console pane.
class OLUnfixedInput
{
public:
    // Replaces the unfixed input with text without ending a history walk and
    // returns the input it replaced.
    virtual QString replaceUnfixedWithString(const QString &text) = 0;

protected:
    ~OLUnfixedInput() = default;
};

// The inputs committed in one console, oldest first, and the walk back and
// forward through them. The walk shows remembered inputs as the console's
// unfixed input and puts back what the user had typed when it runs off the
// newest end.
class OLCommitHistory
{
public:
    // Starts from the stored history when restoring is on, keeping its newest
    // items up to the maximum length.
    OLCommitHistory(OLUnfixedInput &interpreter, const OLUserDefaults &defaults);

    void reset();
    void addItem(const QString &item);
    void back();
    void forward();
    QStringList createArray() const { return m_history; }
    QString description() const;

    qint64 index() const { return m_index; }
    bool inSession() const { return m_inSession; }

private:
    OLUnfixedInput &m_interpreter;
    const OLUserDefaults &m_defaults;
    QString m_tmp;          // the unfixed input when the walk began
    QStringList m_history;  // oldest first
    qint64 m_index = -1;    // the item shown during a walk
    bool m_inSession = false;
};
