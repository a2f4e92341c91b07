// Where the installed interpreters' errors and warnings are placed in the
// commits they are about, through the session.

#include "OLSessionTestSupport.h"

class TestErrorLocations : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { endAllChildren(); }

    // Each row: commits, "E:" from the editor and "C:" from the console, each
    // answered before the next ("e:" written with the next); and what the last
    // one's messages underline: "error " or "warning " and the text, "*" for the
    // whole commit.
    void places_data()
    {
        QTest::addColumn<QString>("interpreter");
        QTest::addColumn<QStringList>("commits");
        QTest::addColumn<QStringList>("places");
        const auto row = [](const char *name, const QString &interpreter, const QStringList &commits, const QStringList &places) {
            QTest::newRow(name) << interpreter << commits << places;
        };
        const QString third = QStringLiteral("E:fun f x =\n  let val y = x + 1\n  in y 1 end");
        const QString elided = QStringLiteral("let val q = 1 val r = 2 (* c *) val s = 3 in q r s + 4 + 5 + 6 + 7 + 8 + 9 + 10 + 11 + 12 "
                                              "+ 13 + 14 end");
        const QString ops = QStringLiteral("(op +) (1, 2) ^ \"x\" ^ (1 andalso true)");
        row("smlnj: first line of the session", smlPath, {"E:val a = 1 2"}, {"error a = 1 2"});
        row("smlnj: third line, after console input", smlPath, {"E:val x = 1", "C:val c =\n 2;", third}, {"error y 1"});
        row("smlnj: after a rejection", smlPath, {"E:val a = 1 2", "E:val b = 2 2"}, {"error b = 2 2"});
        row("smlnj: after a rejection and console input, over lines from before", smlPath, {"E:val x = 1", "E:val a = 1 2", "C:val ok = 1;", third}, {"error y 1"});
        row("smlnj: after an uncaught exception", smlPath, {"E:val e = hd []", "E:val ok = 1", third}, {"error y 1"});
        row("smlnj: bytes and tabs", smlPath, {"C:val s = \"é\";", "E:val t =\n\t\"é\" 1"}, {"error t =\n\t\"é\" 1"});
        row("smlnj: a commit dropped unread after a rejection", smlPath, {"e:val a = 1 2", "C:val b = 2;", "E:val c = 1 2"}, {"error c = 1 2"});
        row("smlnj: positions without an end, after a rejection", smlPath, {"E:val a = 1 2", "E:val é = 1"}, {"error é", "error é"});
        row("smlnj: a warning", smlPath, {"E:val x = 1", "E:fun g 0 = 1"}, {"warning g 0 = 1"});
        row("smlnj: an exception names no place", smlPath, {"E:val z =\n  1 div 0"}, {"error *"});
        row("poly: found near", polyPath, {"E:val a = 1 2"}, {"error 1 2"});
        row("poly: third line, after console input", polyPath, {"C:val c = 1;", "E:fun g x =\n  let\n    val y = x + \"a\"\n  in y end"}, {"error x + \"a\""});
        row("poly: elided, with a comment", polyPath, {"E:val a = " + elided}, {"error " + elided});
        row("poly: op and brackets printed otherwise", polyPath, {"E:val b = " + ops}, {"error " + ops, "error 1 andalso true", "error " + ops});
        row("poly: a warning", polyPath, {"E:fun h 0 = 1"}, {"warning fun h 0 = 1"});
        row("poly: no excerpt", polyPath, {"E:val = 3"}, {"error *", "error *"});
        row("mosml: carets, third line", mosmlPath, {"E:val x = 1", "E:val t : int =\n  1 +\n  \"éé\""}, {"error \"éé\""});
        row("mosml: dots over lines, a tab", mosmlPath, {"E:val a = (1,\n\n\t2) 3"}, {"error (1,\n\n\t2)"});
        row("mosml: a warning", mosmlPath, {"E:fun g 0 = 1\n  | g 1 = 2"}, {"warning g 0 = 1\n  | g 1 = 2"});
        row("alice: lines of the commit", alicePath, {"E:val x = 1", "E:val y =\n  1 +\n  \"a\""}, {"error 1 +\n  \"a\""});
        row("alice: bytes and a tab", alicePath, {"E:\tval u : int = \"é\""}, {"error u : int = \"é\""});
        row("alice: a warning", alicePath, {"E:fun g 0 = 1"}, {"warning g 0 = 1"});
    }

    void places()
    {
        QFETCH(QString, interpreter);
        QFETCH(QStringList, commits);
        QFETCH(QStringList, places);
        SKIP_UNLESS_INSTALLED(interpreter);
        OLSessionRun<> run(interpreter);
        QVERIFY(run.waitFor([&] { return run.recorder.starts == 1; }));
        QString text;
        for (const QString &commit : commits) {
            text = commit.sliced(2);
            const qsizetype verdicts = run.recorder.verdicts.size(), pieces = run.recorder.pieces.size();
            run.recorder.messages.clear();
            const bool editor = commit.startsWith(u'E') || commit.startsWith(u'e');
            run.session->eval(text, editor ? OLEditorCommitter : OLConsoleCommitter);
            QVERIFY(commit.front().isLower() || run.waitFor([&] {
                return editor ? run.recorder.verdicts.size() > verdicts : run.recorder.pieces.size() > pieces;
            }));
        }
        const auto found = [&] {
            QStringList shown;
            for (const OLErrorLocation &m : run.recorder.messages)
                shown.append(QStringLiteral("%1 %2").arg(m.warning ? "warning" : "error",
                                                       m.exact ? text.mid(m.from, m.to - m.from) : QStringLiteral("*")));
            return shown;
        };
        // Alice ML writes its messages after its prompt.
        run.waitFor([&] { return found() == places; });
        QCOMPARE(found(), places);
        // Each message is where the console shows it.
        const QString shown = run.recorder.shown();
        for (const OLErrorLocation &m : run.recorder.messages)
            QVERIFY2(shown.mid(m.shownFrom, m.shownTo - m.shownFrom).contains(m.message.section(u'\n', 0, 0),
                                                                               Qt::CaseInsensitive),
                     qPrintable(m.message));
    }
};

QTEST_GUILESS_MAIN(TestErrorLocations)
#include "tst_errorlocations.moc"
