// Retracts through the window, each followed by its replay into a new
// interpreter (Poly ML, Moscow ML): the green part, the note, and which names
// the new interpreter holds.

#include "appfixture.h"

class TestRetract : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Steps: F Whole File, T:after:text types text after the first "after",
    // u undoes in the editor, U Undo Step, R:after Retract to Cursor there,
    // C:text a console commit, D deletes the file that the declaration s opens.
    // Each row: the interpreter, the steps, where the green part ends (after
    // this text), the names bound after it, and the note.
    void retracts_data()
    {
        QTest::addColumn<QStringList>("row");
        const QString poly = polyCommandLine, mosml = mosmlCommandLine;
        QTest::newRow("Poly ML, edit inside a middle declaration") << QStringList{poly, "F|T:val c:x", "a + 1;\n\n", "asb", "Replayed 3 declarations"};
        QTest::newRow("Poly ML, blank between declarations") << QStringList{poly, "F|T:a + 1;\n: ", "a + 1;\n", "asb", "Replayed 3 declarations"};
        QTest::newRow("Poly ML, undo of an edit") << QStringList{poly, "T:c + 1:0|F|u", "b + 1;\n", "asbc", "Replayed 4 declarations"};
        QTest::newRow("Poly ML, Retract to Cursor") << QStringList{poly, "F|R:val b", "\");\n", "as", "Replayed 2 declarations"};
        QTest::newRow("Poly ML, console input in between") << QStringList{poly, "F|C:val z = 9|U", "b + 1;\n", "asbc", "(1 entry) was not replayed"};
        QTest::newRow("Moscow ML, edit at the start") << QStringList{mosml, "F|T:: ", "", "", "Retracted everything"};
        QTest::newRow("Moscow ML, Undo Step twice") << QStringList{mosml, "F|U|U", "a + 1;\n\n", "asb", "Replayed 3 declarations"};
        QTest::newRow("Moscow ML, a failure during the replay") << QStringList{mosml, "F|D|T:val d:x", "1;\n", "a", "Replayed 1 of 4 declarations"};
    }
    void retracts()
    {
        QFETCH(QStringList, row);
        const QString &interpreter = row[0], &evaluated = row[2], &bound = row[3], &note = row[4];
        const QStringList steps = row[1].split(u'|');
        // Its error on a name that is not bound.
        const QString unbound = interpreter == polyCommandLine ? QStringLiteral("(%1) has not been declared") : QStringLiteral("identifier: %1");
        if (interpreter == mosmlCommandLine)
            SKIP_UNLESS_INSTALLED(mosmlPath);
        AppFixture fixture(interpreter);
        const QString data = fixture.write(QStringLiteral("data"), "x");
        const QString source = QStringLiteral("val a = 1;\nval s = TextIO.closeIn (TextIO.openIn \"%1\");\nval b = a + 1;\n\n"
                                              "val c = b + 1;\nval d = c + 1;\n").arg(data);
        OLWindowController *window = fixture.open(QStringLiteral("retract.sml"), source.toUtf8());
        QVERIFY(window && waitForBanner(window));
        OLEditorViewController *editor = window->editor();
        const auto after = [editor](const QString &text) { return editor->content().indexOf(text) + text.size(); };
        for (const QString &step : steps) {
            const QStringList args = step.split(u':');
            if (args[0] == u"T" || args[0] == u"R")
                editor->textView()->selectText(after(args[1]), after(args[1]));
            switch (step[0].unicode()) {
            case 'F': window->evalFile(); break;
            case 'T': QTest::keyClicks(editor->textView(), args[2]); break;
            case 'u': editor->textView()->guardedUndo(); break;
            case 'U': window->undoStep(); break;
            case 'R': window->retractToCursor(); break;
            case 'C': window->eval(args[1], OLConsoleCommitter); break;
            default: QVERIFY(QFile::remove(data));
            }
            // Whole File and the console's answer are waited for.
            QTRY_VERIFY_WITH_TIMEOUT(step != u"F" || editor->interpreted() == editor->content().size(), 30000);
            QTRY_VERIFY_WITH_TIMEOUT(args[0] != u"C" || consoleShows(window, args[1]), 30000);
        }
        QTRY_VERIFY_WITH_TIMEOUT(consoleShows(window, note), 30000);
        QVERIFY(!editor->evaluated().isReplaying() && !editor->pending().isSet());
        QCOMPARE(editor->interpreted(), after(evaluated));
        QCOMPARE(editor->error().isSet(), note.contains(u" of "));
        const qsizetype marked = editor->error().isSet() ? after(QStringLiteral("\");\n")) : editor->interpreted();
        const OLTextStorage &marks = editor->textStorage();
        QVERIFY(evaluated.isEmpty() || backgroundIs(marks, 0, editor->interpreted(), OLSyntaxHighlighter::lightGreen()));
        QVERIFY(marked == editor->interpreted() || backgroundIs(marks, editor->interpreted(), marked, OLSyntaxHighlighter::lightRed()));
        QVERIFY(backgroundIs(marks, marked, editor->content().size(), std::nullopt));
        // Bound as kept, and only so.
        for (const QChar name : QStringLiteral("asbcdz")) {
            const QString answer = QStringLiteral("val q_%1 = ").arg(name);
            window->eval(answer + name, OLConsoleCommitter);
            QTRY_VERIFY_WITH_TIMEOUT(answers(window).contains(answer) || answers(window, true).contains(unbound.arg(name)), 30000);
            QCOMPARE(answers(window).contains(answer), bound.contains(name));
        }
    }
};

QTEST_MAIN(TestRetract)
#include "tst_retract.moc"
