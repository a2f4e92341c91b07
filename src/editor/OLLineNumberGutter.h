#pragma once

#include <QList>
#include <QRect>
#include <QWidget>

class OLTextView;

// The line numbers of a text view's lines in sight, in a strip beside it
// (lines never wrap, so each block is one line, or a piece of a long line
// that goes on from the block before, numbered on its first piece only). It
// is drawn again only when
// the lines in sight move, their number changes, or the cursor goes to
// another line, whose number stands out: typing within a line costs it
// nothing.
class OLLineNumberGutter : public QWidget
{
    Q_OBJECT

public:
    explicit OLLineNumberGutter(OLTextView *view, QWidget *parent = nullptr);

    struct Row {
        int line; // from 1
        QRect rect; // in the gutter
    };
    // The numbers drawn and where, top to bottom.
    QList<Row> rows() const;

    // Takes the width for a text of this many lines (it follows the view's
    // text by itself; this is for a text about to come).
    void fitLines(qsizetype count);

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void fitWidth();
    void cursorMoved();
    // The top of the view's viewport, in this strip's coordinates.
    int viewportTop() const;

    // The line, from 0, of the view's cursor.
    qsizetype cursorLine() const;

    OLTextView *m_view;
    int m_cursorLine = -1;
};
