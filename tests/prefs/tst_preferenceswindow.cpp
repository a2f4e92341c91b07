#include "../settings/settingstestsupport.h"
#include "highlight/OLTextView.h"
#include "prefs/OLBroadcaster.h"
#include "prefs/OLModeChooserWindowController.h"
#include "prefs/OLPreferencesWindowController.h"
#include "highlight/OLQtFont.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFontDatabase>
#include <QFontDialog>
#include <QFileInfo>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>

namespace {
// The preferences window over a temporary store that holds other General
// settings than the defaults; the interpreters are found where they are. Takes
// the application delegate's place for the broadcasts: records each with
// what the store held at that moment, which is what every open window reloads.
struct Prefs : OLBroadcaster {
    Prefs()
    {
        defaults.registerDefaultPreferences();
        defaults.saveMaximumCommitHistoryLength(50);
        for (QLatin1StringView key : {OLKey::shouldRestoreCommitHistory, OLKey::shouldReopenFiles, OLKey::showLineNumbers})
            defaults.setValue(false, key);
        defaults.saveCommitHistory({QStringLiteral("val kept = 1")});
        defaults.savePreferredInterpreter("file://localhost/usr/bin/poly");
        opened = describe(defaults);
        opened.insert({{"polyPath", "file://localhost/usr/bin/poly"}, {"face", "Book"}, {"styleKeys", "0"}, {"open", "1"},
                       {"field", "/usr/bin/poly"}, {"sizeField", "50"}, {"message", "0"}, {"popUp", "-1"}, {"opacityField", "80"},
                       {"facConsoleErrorStyleCheckBoxBold", "checked"}, {"segment0", "-- 1 1"}, {"segment1", "-- 0.8 0.8"},
                       {"segment2", "-- 1 1"}, {"segment3", "-- 0.8 0.8"}, {"segment4", "-- 1 1"}, {"segment5", "b- 0.8 0.8"},
                       {"regShown", "#000000"}, {"keyShown", "#0033b3"}, {"comShown", "#666666"}, {"strShown", "#994d00"},
                       {"errShown", "#cc0000"}});
        open();
    }
    void updateAllFontAttributes() override { heard(QStringLiteral("update")); }
    void updateAllLineNumbers() override { heard(QStringLiteral("lines")); }
    void clearAllHistory() override { heard(QStringLiteral("clear")); }
    void resetAllEnvironments() override { heard(QStringLiteral("reset")); }
    void heard(const QString &call)
    {
        if (calls.isEmpty() || calls.last() != call)
            calls.append(call);
        lastHeard = describe(defaults);
    }
    void open()
    {
        window = std::make_unique<OLPreferencesWindowController>(defaults, *this);
        window->setExecutableChooser([this](QWidget *) { return browseAnswer; });
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }
    // Replaces a field's text as typing does, optionally pressing Return.
    void type(QWidget *field, const QString &text, bool enter) const
    {
        QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(field, text);
        if (enter)
            QTest::keyClick(field, Qt::Key_Return);
    }
    // What is stored and shown: the settings, how many style keys the store
    // holds, the controls, the open dialog, and of each of the example's six
    // segments (input, answer, input, answer, input, error) bold, italic and
    // the opacity at its first and last character, and the colour shown of a
    // plain, keyword, comment, string and error character.
    QMap<QString, QString> state() const
    {
        QMap<QString, QString> now = describe(defaults);
        now["face"] = QFontInfo(fontForStyleSet(defaults.loadFontAttributes(true))).styleName();
        const auto styleKeys = std::ranges::count_if(OLKey::fontsAndColoursKeys, [this](auto key) { return store.settings.contains(key); });
        now.insert({{"styleKeys", QString::number(styleKeys)}, {"open", QString::number(window->isVisible())},
                    {"field", window->findChild<QLineEdit *>("genProcessCommandLineTextField")->text()},
                    {"sizeField", window->findChild<QLineEdit *>("genHistorySizeTextField")->text()},
                    {"message", QString::number(window->findChild<QLabel *>("genHistorySizeMessage")->isVisible())},
                    {"popUp", QString::number(window->findChild<QComboBox *>("genProcessExecutabelChooserButton")->currentIndex())},
                    {"opacityField", QString::number(window->findChild<QDoubleSpinBox *>("facConsoleAnswerOpacityTextField")->value())}});
        for (const QCheckBox *box : window->centralWidget()->findChildren<QCheckBox *>())
            now[box->objectName()] = box->isChecked() ? "checked" : "";
        if (auto *dialog = window->findChild<QColorDialog *>(); dialog && dialog->isVisible())
            now["dialog"] = dialog->currentColor().name();
        if (auto *dialog = window->findChild<QFontDialog *>(); dialog && dialog->isVisible())
            now["dialog"] = dialog->currentFont().styleName() + u' ' + QString::number(dialog->currentFont().pointSize());
        // The format drawn at a character of the example text, once it is drawn.
        auto *example = window->findChild<OLTextView *>(QStringLiteral("facConsoleExampleTextView"));
        if (!QTest::qWaitFor([example] { return example->isRenderingComplete(); }))
            now["drawn"] = "not yet";
        const auto formatAt = [example](int position) {
            const QTextBlock block = example->document()->findBlock(position);
            for (const QTextLayout::FormatRange &range : block.layout()->formats()) {
                if (range.start <= position - block.position() && position - block.position() < range.start + range.length)
                    return range.format;
            }
            return QTextCharFormat();
        };
        const int starts[] = {0, 49, 93, 122, 158, 176, example->document()->characterCount()};
        for (int segment = 0; segment < 6; ++segment) {
            const QTextCharFormat first = formatAt(starts[segment]);
            now["segment" + QString::number(segment)] = QStringLiteral("%1%2 %3 %4").arg(
                first.fontWeight() == QFont::Bold ? "b" : "-", formatAt(starts[segment] + 5).fontItalic() ? "i" : "-",
                QString::number(first.foreground().color().alphaF(), 'g', 3),
                QString::number(formatAt(starts[segment + 1] - 2).foreground().color().alphaF(), 'g', 3));
        }
        for (const auto &[name, position] : {std::pair{"regShown", 4}, {"keyShown", 0}, {"comShown", 24}, {"strShown", 170}, {"errShown", 176}})
            now[name] = formatAt(position).foreground().color().name();
        return now;
    }
    // Runs the steps, each up to the next ";". Typed: c:TEXT into the command
    // line, h:TEXT the history size, then C: and H: press Return; %:TEXT the
    // opacity. K:NAME clicks the button whose name holds NAME. P:N picks the
    // pop-up's entry N; B:PATH is the file the next search locates (B: none);
    // D:TEXT picks a colour ("red") in the colour dialog, or a face and a size
    // ("Bold,14") of the family in the font dialog; X cancels the dialog; Q
    // closes the window, O opens a new one. k:KEY=VALUE stores any key
    // elsewhere. = tells the changes so far. Tells the changes and the
    // broadcasts (the last when the store held what it holds now).
    QString run(const QString &script)
    {
        QStringList out;
        for (const QString &step : script.split(u';')) {
            const QString text = step.mid(2);
            auto *colours = window->findChild<QColorDialog *>();
            auto *fonts = window->findChild<QFontDialog *>();
            switch (step.isEmpty() ? 0 : step[0].unicode()) {
            case 'c': case 'C': type(window->findChild<QLineEdit *>("genProcessCommandLineTextField"), text, step[0] == u'C'); break;
            case 'h': case 'H': type(window->findChild<QLineEdit *>("genHistorySizeTextField"), text, step[0] == u'H'); break;
            case '%': type(window->findChild<QDoubleSpinBox *>("facConsoleAnswerOpacityTextField"), text, true); break;
            case 'K': window->findChildren<QAbstractButton *>(QRegularExpression(text)).value(0)->click(); break;
            case 'P':
                window->findChild<QComboBox *>("genProcessExecutabelChooserButton")->setCurrentIndex(text.toInt());
                Q_EMIT window->findChild<QComboBox *>("genProcessExecutabelChooserButton")->activated(text.toInt());
                break;
            case 'B': browseAnswer = text; break;
            case 'D':
                if (colours && colours->isVisible())
                    colours->setCurrentColor(QColor::fromString(text));
                else
                    fonts->setCurrentFont(QFontDatabase::font("DejaVu Sans Mono", text.section(u',', 0, 0), text.section(u',', 1).toInt()));
                break;
            case 'X': (colours && colours->isVisible() ? static_cast<QDialog *>(colours) : fonts)->reject(); break;
            case 'Q': window->close(); break;
            case 'O': open(); break;
            case 'k': defaults.setValue(text.section(u'=', 1), text.section(u'=', 0, 0)); break;
            case '=': out += "= " + ::changes(opened, state()); break;
            default: out += "no " + step;
            }
        }
        out += ::changes(opened, state());
        if (!calls.isEmpty())
            out += "heard " + calls.join(u' ') + (lastHeard == describe(defaults) ? "" : " early");
        out.removeAll(QString());
        return out.join(QStringLiteral(" ; "));
    }

    TempSettings store;
    OLUserDefaults &defaults = store.defaults;
    QMap<QString, QString> opened; // the state of a window just opened over this store
    QStringList calls; // the broadcasts heard, a repeated one once
    QMap<QString, QString> lastHeard; // describe() at the last
    std::unique_ptr<OLPreferencesWindowController> window;
    QString browseAnswer;
};
} // namespace

class TestPreferencesWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        // The chooser and the pop-up list the interpreters where scripts/install-deps puts them.
        if (!QFileInfo(QStringLiteral("/opt/mosml/bin/mosml")).isExecutable() || QFileInfo::exists(QStringLiteral("/usr/local/bin/mosml")))
            QSKIP("Moscow ML is needed in /opt/mosml (where scripts/install-deps puts it), and none in /usr/local/bin");
    }

    // Step scripts (see Prefs::run). Showing the settings stores and tells
    // nothing; Apply stores only what the user changed, so a choice made
    // elsewhere (the interpreter chooser) stands. The command line shows
    // without its prefix. A history size
    // that is no whole number is refused with a message; by Apply, it keeps
    // the window open and nothing is stored or restarted. Each tab's Restore
    // Defaults resets its own settings (the history cleared). Loading reads
    // bit 1 of a trait mask as bold and bit 0 as italic, whatever else is set;
    // each group's two boxes give one mask naming a state of both traits; the
    // opacity applies to the answers and the error, never to the input. The
    // font dialog opens on the stored face, or the family's regular one when
    // none is stored (as before faces were); each pick of a dialog applies at
    // once, Cancel takes the picks back, closing the window keeps them.
    void scripts_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("expected");
        const char *rows[][3] = {
            {"a cancelled font dialog stores no style; Apply keeps a choice made elsewhere", "K:ChooseFont;X;k:preferredInterpreter=file://localhost/usr/bin/sml;K:Apply", "interpreter=file://localhost/usr/bin/poly>file://localhost/usr/bin/sml | open=1>0 ; heard reset"},
            {"command line with three slashes and arguments, two blanks kept; a space typed %20", "k:preferredInterpreter=file:///usr/bin/sml @SMLquiet  -x;O;=;C:/opt/my%20ml/poly  -q;O", "= field=/usr/bin/poly>/usr/bin/sml @SMLquiet  -x | interpreter=file://localhost/usr/bin/poly>file:///usr/bin/sml @SMLquiet  -x ; field=/usr/bin/poly>/opt/my%20ml/poly  -q | interpreter=file://localhost/usr/bin/poly>file://localhost/opt/my%20ml/poly  -q"},
            {"pop-up entry replaces the arguments; a search cancelled, a file located", "k:preferredInterpreter=file://localhost/usr/bin/sml @SMLquiet;O;P:2;=;K:Browse;=;B:/x/located;K:Browse", "= field=/usr/bin/poly>/opt/mosml/bin/mosml | interpreter=file://localhost/usr/bin/poly>file://localhost/opt/mosml/bin/mosml | popUp=-1>2 ; = field=/usr/bin/poly>/opt/mosml/bin/mosml | interpreter=file://localhost/usr/bin/poly>file://localhost/opt/mosml/bin/mosml | popUp=-1>2 ; field=/usr/bin/poly>/x/located | interpreter=file://localhost/usr/bin/poly>file://localhost/x/located"},
            {"history size negative or a fraction refused, zero stored", "H:-3;=;H:12.5;=;H:0", "= message=0>1 | sizeField=50>-3 ; = message=0>1 | sizeField=50>12.5 ; historyLength=50>0 | sizeField=50>0"},
            {"history size by Apply, with the command line", "h:42;c:/usr/bin/poly -q;=;K:Apply", "= field=/usr/bin/poly>/usr/bin/poly -q | sizeField=50>42 ; field=/usr/bin/poly>/usr/bin/poly -q | historyLength=50>42 | interpreter=file://localhost/usr/bin/poly>file://localhost/usr/bin/poly -q | open=1>0 | sizeField=50>42 ; heard reset"},
            {"history size no whole number by Apply", "h:4x2;c:/usr/bin/poly -q;K:Apply", "field=/usr/bin/poly>/usr/bin/poly -q | message=0>1 | sizeField=50>4x2"},
            {"boxes store at once", "K:ShouldLoad;K:Reopen;K:ShowLineNumbers", "genHistoryShouldLoadCheckbox=>checked | genMiscReopenDocumentsCheckBox=>checked | genShowLineNumbersCheckBox=>checked | lines=false>true | reopen=false>true | restore=false>true ; heard lines"},
            {"General defaults, the history cleared; the style stays", "k:fontName=Custom Mono;O;=;K:genRestore", "= font=DejaVu Sans Mono,12,>Custom Mono,12, | styleKeys=0>1 ; font=DejaVu Sans Mono,12,>Custom Mono,12, | genHistoryShouldLoadCheckbox=>checked | genMiscReopenDocumentsCheckBox=>checked | genShowLineNumbersCheckBox=>checked | history=QList(\"val kept = 1\")>QList() | historyLength=50>100 | lines=false>true | reopen=false>true | restore=false>true | sizeField=50>100 | styleKeys=0>1 ; heard lines clear"},
            {"Fonts and Colours defaults; the General settings stay", "k:fontName=Custom Mono;k:outAlpha=0.42;k:ansFontTraits=3;k:regColor=0.1 0.2 0.3;O;=;K:facConsoleRestore", "= alpha=0.800000012>0.419999987 | alphas=1/0.800000012>1/0.419999987 | answerTraits=16777220>3 | facConsoleAnswerStyleCheckBoxBold=>checked | facConsoleAnswerStyleCheckBoxItalic=>checked | font=DejaVu Sans Mono,12,>Custom Mono,12, | opacityField=80>42 | reg=0.000000 0.000000 0.000000 1.0>0.100000 0.200000 0.300000 1.0 | regShown=#000000>#1a334d | segment1=-- 0.8 0.8>bi 0.42 0.42 | segment3=-- 0.8 0.8>bi 0.42 0.42 | segment5=b- 0.8 0.8>b- 0.42 0.42 | styleKeys=0>4 ; heard update"},
            {"answers: italic and not italic, to bold only; a fraction of a per cent", "k:ansFontTraits=16777217;O;=;K:AnswerStyleCheckBoxBold;K:AnswerStyleCheckBoxItalic;%:12.5;=;O", "= answerTraits=16777220>16777217 | facConsoleAnswerStyleCheckBoxItalic=>checked | segment1=-- 0.8 0.8>-i 0.8 0.8 | segment3=-- 0.8 0.8>-i 0.8 0.8 | styleKeys=0>1 ; = alpha=0.800000012>0.125 | alphas=1/0.800000012>1/0.125 | answerTraits=16777220>16777218 | facConsoleAnswerStyleCheckBoxBold=>checked | opacityField=80>12.5 | segment1=-- 0.8 0.8>b- 0.125 0.125 | segment3=-- 0.8 0.8>b- 0.125 0.125 | segment5=b- 0.8 0.8>b- 0.125 0.125 | styleKeys=0>2 ; alpha=0.800000012>0.125 | alphas=1/0.800000012>1/0.125 | answerTraits=16777220>16777218 | facConsoleAnswerStyleCheckBoxBold=>checked | opacityField=80>12.5 | segment1=-- 0.8 0.8>b- 0.125 0.125 | segment3=-- 0.8 0.8>b- 0.125 0.125 | segment5=b- 0.8 0.8>b- 0.125 0.125 | styleKeys=0>2 ; heard update"},
            {"errors: zero, to bold and italic; a digit beyond 100 refused", "k:errFontTraits=0;O;=;K:ErrorStyleCheckBoxBold;K:ErrorStyleCheckBoxItalic;%:1000;=;O", "= errorTraits=16777218>0 | facConsoleErrorStyleCheckBoxBold=checked> | segment5=b- 0.8 0.8>-- 0.8 0.8 | styleKeys=0>1 ; = alpha=0.800000012>1 | alphas=1/0.800000012>1/1 | errorTraits=16777218>3 | facConsoleErrorStyleCheckBoxItalic=>checked | opacityField=80>100 | segment1=-- 0.8 0.8>-- 1 1 | segment3=-- 0.8 0.8>-- 1 1 | segment5=b- 0.8 0.8>bi 1 1 | styleKeys=0>2 ; alpha=0.800000012>1 | alphas=1/0.800000012>1/1 | errorTraits=16777218>3 | facConsoleErrorStyleCheckBoxItalic=>checked | opacityField=80>100 | segment1=-- 0.8 0.8>-- 1 1 | segment3=-- 0.8 0.8>-- 1 1 | segment5=b- 0.8 0.8>bi 1 1 | styleKeys=0>2 ; heard update"},
            {"font dialog on the regular face; a pick, Cancel, closing", "K:ChooseFont;=;D:Bold Oblique,14;=;X;=;K:ChooseFont;D:Bold,18;Q", "= dialog=>Book 12 ; = dialog=>Bold Oblique 14 | face=Book>Bold Oblique | font=DejaVu Sans Mono,12,>DejaVu Sans Mono,14,Bold Oblique | styleKeys=0>8 ; = styleKeys=0>7 ; face=Book>Bold | font=DejaVu Sans Mono,12,>DejaVu Sans Mono,18,Bold | open=1>0 | styleKeys=0>8 ; heard update"},
            {"font dialog on the stored face", "k:fontStyle=Bold;O;K:ChooseFont", "dialog=>Bold 12 | face=Book>Bold | font=DejaVu Sans Mono,12,>DejaVu Sans Mono,12,Bold | styleKeys=0>1"},
            {"a colour dialog on its well's colour, cancelled; each well its colour, kept by closing the window", "K:ColorWellKeyword;=;D:red;X;K:ColorWellPlain;D:#010203;K:ColorWellComment;D:#070809;K:ColorWellString;D:#0a0b0c;K:ColorWellError;D:blue;Q", "= dialog=>#0033b3 ; com=0.400000 0.400000 0.400000 1.0>0.027451 0.031373 0.035294 1.0 | comShown=#666666>#070809 | err=0.800000 0.000000 0.000000 1.0>0.000000 0.000000 1.000000 1.0 | errShown=#cc0000>#0000ff | open=1>0 | reg=0.000000 0.000000 0.000000 1.0>0.003922 0.007843 0.011765 1.0 | regShown=#000000>#010203 | str=0.600000 0.300000 0.000000 1.0>0.039216 0.043137 0.047059 1.0 | strShown=#994d00>#0a0b0c | styleKeys=0>7 ; heard update"},
        };
        for (const auto &[name, script, expected] : rows)
            QTest::newRow(name) << QString::fromUtf8(script) << QString::fromUtf8(expected);
    }
    void scripts()
    {
        QFETCH(QString, script);
        Prefs prefs;
        QTEST(prefs.run(script), "expected");
    }

    // The interpreter chooser at the first start. Every way of closing
    // commits the last pick as the apply button does; a located file wins and
    // closes the chooser at once. Without a pick the chooser is rejected (the
    // application then quits) and stores nothing, whatever closed it. An
    // entry stores its standard-path setting, which discovery has just
    // rewritten from the first of the resource's locations that exists (Moscow
    // ML's second), not an earlier run's; the settings of interpreters not
    // found (Alice ML's, left out of the resource) stay.
    void chooser_data()
    {
        QTest::addColumn<bool>("installed"); // Poly ML, Moscow ML and SML/NJ, or nothing
        QTest::addColumn<QString>("steps"); // an entry picked; "browse" locates a file, "cancel" finds none; "apply", "close", "escape"
        QTest::addColumn<QString>("expected"); // after each step: open or closed, the result, the stored command line
        const QString mosml = QStringLiteral("file://localhost/opt/mosml/bin/mosml"), located = QStringLiteral("closed accepted file://localhost/x/located");
        QTest::newRow("apply button") << true << "Moscow ML;apply" << "open ; closed accepted " + mosml;
        QTest::newRow("Escape") << true << "SML of New Jersey;Moscow ML;escape" << "open ; open ; closed accepted " + mosml;
        QTest::newRow("no pick: close control") << true << "close" << "closed rejected";
        QTest::newRow("no pick: browse cancelled, then apply") << true << "cancel;apply" << "open ; closed rejected";
        QTest::newRow("a located file wins") << true << "Moscow ML;browse" << "open ; " + located;
        QTest::newRow("nothing installed: a file is located") << false << "browse" << located;
    }
    void chooser()
    {
        QFETCH(bool, installed);
        QFETCH(QString, steps);
        TempSettings store;
        store.defaults.setValue(QStringLiteral("file://localhost/old/mosml"), OLKey::mosmlPath);
        store.defaults.setValue(QStringLiteral("stale"), OLKey::alicePath);
        QVariantMap resource = installed ? OLUserDefaults::standardInterpreterLocations() : QVariantMap();
        resource.remove(OLKey::aliceStdLocation);
        OLModeChooserWindowController window(store.defaults, resource);
        window.setExecutableChooser([&](QWidget *) { return steps.contains(u"browse") ? QStringLiteral("/x/located") : QString(); });
        window.show();
        auto *popUp = window.findChild<QComboBox *>(QStringLiteral("chooserButton"));
        QCOMPARE(popUp ? popUp->currentIndex() : -2, installed ? -1 : -2);
        QStringList out;
        for (const QString &step : steps.split(u';')) {
            if (step == u"close")
                window.close();
            else if (step == u"escape")
                QTest::keyClick(&window, Qt::Key_Escape);
            else if (auto *button = window.findChild<QAbstractButton *>(step == u"cancel" ? QStringLiteral("browse") : step))
                button->click();
            else
                Q_EMIT popUp->activated(popUp->findText(step));
            const QString result = window.isVisible() ? "open" : window.result() == QDialog::Accepted ? "closed accepted" : "closed rejected";
            out << (result + u' ' + store.settings.value(QStringLiteral("preferredInterpreter")).toString()).trimmed();
        }
        QTEST(out.join(QStringLiteral(" ; ")), "expected");
        QCOMPARE(store.defaults.stringForKey(OLKey::alicePath), QStringLiteral("stale"));
    }
};

QTEST_MAIN(TestPreferencesWindow)
#include "tst_preferenceswindow.moc"
