// Opens a document window on a small file with Poly ML, evaluates the whole
// file (one declaration fails), types one input into the console, and saves
// a picture of the window:
//   app_screenshot FILE.png
// Run it under a real display server (xvfb-run -a) for docs/screenshot.png.
#include "appfixture.h"

#include <QApplication>

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
    if (argc != 2) {
        std::fprintf(stderr, "usage: app_screenshot FILE.png\n");
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
    const QString path = QString::fromLocal8Bit(argv[1]);
    if (!window->grab().save(path))
        return 1;
    std::printf("%s\n", qPrintable(path));
    return 0;
}
