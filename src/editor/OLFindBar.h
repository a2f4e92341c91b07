#pragma once

#include <QTextEdit>
#include <QWidget>

class OLTextStorage;
class OLTextView;
class QCheckBox;
class QLabel;
class QLineEdit;

// The find bar under the editor: a search field, next and previous, match
// case and wrap around. The matches within the viewport are told to the pane,
// which shows them as extra selections (they change no text); Escape closes
// the bar.
class OLFindBar : public QWidget
{
    Q_OBJECT

public:
    // Searches the storage's text, which the view draws.
    OLFindBar(OLTextView *view, const OLTextStorage &storage, QWidget *parent = nullptr);

    // Shows the bar with the focus in its field; a selection within one line
    // becomes the search text.
    void open();
    void closeBar();

    // Select the next or the previous match; false when there is none.
    bool findNext();
    bool findPrevious();

    QLineEdit *searchField() const { return m_field; }
    QCheckBox *matchCaseBox() const { return m_matchCase; }
    QCheckBox *wrapAroundBox() const { return m_wrapAround; }

Q_SIGNALS:
    void matchesShown(const QList<QTextEdit::ExtraSelection> &matches);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    // Selects the first match at or after `from` (backward: starting before
    // `from`), wrapping around when asked.
    bool find(qsizetype from, bool backward);
    void showMatches();
    Qt::CaseSensitivity caseSensitivity() const;

    OLTextView *m_view;
    const OLTextStorage &m_storage;
    QLineEdit *m_field;
    QCheckBox *m_matchCase;
    QCheckBox *m_wrapAround;
    QLabel *m_notFound;
};
