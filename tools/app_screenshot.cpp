// Opens a document window on a small file with Poly ML, evaluates the whole
// file (one declaration fails), types one input into the console, points at
// the error's wave, and saves a picture of the window with the tip; with a
// second file, then also one with the cursor inside the file and the
// interpreter busy with a long computation:
//   app_screenshot FILE.png [BUSY.png]
// Run it under a real display server (xvfb-run -a) for docs/screenshot.png
// and docs/status-bar-busy.png.
#include "appfixture.h"

#include <QApplication>
#include <QHelpEvent>
#include <QLabel>
#include <QPainter>
#include <QToolTip>

#include <cstdio>

namespace {
const char sample[] = "(* Squares and their sum *)\n"
                      "fun square x = x * x;\n"
                      "\n"
                      "val squares = List.map square [1, 2, 3, 4, 5];\n"
                      "\n"
                      "fun sum [] = 0\n"
                      "  | sum (x :: xs) = x + sum xs;\n"
                      "\n"
                      "val total = sum squares;\n"
                      "\n"
                      "val label = \"total: \" ^ total;\n"
                      "\n"
                      "val twice = total * 2;\n";
} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: app_screenshot FILE.png [BUSY.png]\n");
        return 2;
    }
    AppFixture fixture;
    OLWindowController *window = fixture.app->openDocumentWindow(fixture.write(QStringLiteral("squares.sml"), sample));
    if (!window)
        return 1;
    window->resize(1180, 560);
    OLEditorViewController *editor = window->editor();
    OLInterpreterViewController *console = window->console();
    const auto waitFor = [](auto condition) { return QTest::qWaitFor(condition, 30000); };
    if (!QTest::qWaitForWindowExposed(window)
        || !waitFor([&] { return editor->content().size() > 10 && console->fixedLength() > 0; }))
        return 1;

    window->evalFile();
    if (!waitFor([&] { return editor->error().isSet(); }))
        return 1;
    window->jumpToInterpreter();
    console->textView()->moveCursor(QTextCursor::End);
    typeInto(console->textView(), QStringLiteral("total div 5;\n"));
    if (!waitFor([&] { return console->textStorage().string().contains(QStringLiteral("val it = 11")); }))
        return 1;
    typeInto(console->textView(), QStringLiteral("Int.toString total"));
    // The marks drawn, the caret in the console.
    if (!waitFor([&] { return editor->textView()->isRenderingComplete() && console->textView()->isRenderingComplete(); }))
        return 1;
    // The console arrow moves in an animation; let it settle.
    QTest::qWait(400);
    // The pointer on the error's wave, with its tip (which stays within the editor).
    if (editor->messages().empty())
        return 1;
    QWidget *viewport = editor->textView()->viewport();
    QTextCursor wave(editor->textView()->document());
    wave.setPosition(int(editor->messages().front().range.location + 1));
    const QPoint pointer = editor->textView()->cursorRect(wave).center();
    QHelpEvent help(QEvent::ToolTip, pointer, viewport->mapToGlobal(pointer));
    QApplication::sendEvent(viewport, &help);
    if (!QToolTip::isVisible())
        return 1;
    const auto shoot = [window](const char *name) {
        const QString path = QString::fromLocal8Bit(name);
        // The tip is a window of its own: drawn over the picture where it stands.
        QPixmap picture = window->grab();
        if (QToolTip::isVisible()) {
            for (QWidget *tip : QApplication::topLevelWidgets()) {
                if (tip->isVisible() && tip->inherits("QTipLabel"))
                    QPainter(&picture).drawPixmap(window->mapFromGlobal(tip->pos()), tip->grab());
            }
        }
        if (!picture.save(path))
            return false;
        std::printf("%s\n", qPrintable(path));
        return true;
    };
    if (!shoot(argv[1]))
        return 1;
    if (argc == 2)
        return 0;

    QToolTip::hideText();
    if (!waitFor([] { return !QToolTip::isVisible(); }))
        return 1;
    QTextCursor inside = editor->textView()->textCursor();
    inside.setPosition(int(editor->content().indexOf(QStringLiteral("x + sum"))));
    editor->textView()->setTextCursor(inside);
    window->jumpToEditor();
    // One commit at a time, each after the last one's answer.
    for (const auto &[input, answer] : {std::pair(";\n", "\"55\""), std::pair("fun spin 0 = 0 | spin n = spin (n - 1);\n", "val spin")}) {
        typeInto(console->textView(), QString::fromUtf8(input));
        if (!waitFor([&] { return console->textStorage().string().contains(QString::fromUtf8(answer)); }))
            return 1;
    }
    typeInto(console->textView(), QStringLiteral("spin 2000000000;\n"));
    const auto *activity = window->findChild<QLabel *>(QStringLiteral("interpreterActivity"));
    if (!waitFor([&] { return !activity->text().isEmpty(); }))
        return 1;
    QTest::qWait(400);
    const bool shot = shoot(argv[2]);
    window->interruptEvaluation();
    return shot ? 0 : 1;
}
