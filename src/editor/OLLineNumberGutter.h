#pragma once

#include <QList>
#include <QRect>
#include <QWidget>

class QPlainTextEdit;

// The line numbers of a text view's lines in sight, in a strip beside it
// (lines never wrap, so each block is one line). It is drawn again only when
// the lines in sight move, their number changes, or the cursor goes to
// another line, whose number stands out: typing within a line costs it
// nothing.
class OLLineNumberGutter : public QWidget
{
    Q_OBJECT

public:
    explicit OLLineNumberGutter(QPlainTextEdit *view, QWidget *parent = nullptr);

    struct Row {
        int line; // from 1
        QRect rect; // in the gutter
    };
    // The numbers drawn and where, top to bottom.
    QList<Row> rows() const;

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void fitWidth();
    void cursorMoved();
    // The top of the view's viewport, in this strip's coordinates.
    int viewportTop() const;

    QPlainTextEdit *m_view;
    int m_cursorLine = -1;
};
