#include "../settings/settingstestsupport.h"
#include "highlight/OLTextView.h"
#include "prefs/OLBroadcaster.h"
#include "prefs/OLModeChooserWindowController.h"
#include "prefs/OLPreferencesWindowController.h"
#include "prefs/OLQtFont.h"

#include <QAction>
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFontDatabase>
#include <QFontDialog>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>

namespace {
// Temporary settings with the defaults resource registered as the
// application registers it at launch.
struct TemporarySettings : TempSettings {
    TemporarySettings()
    {
        QStandardPaths::setTestModeEnabled(true);
        defaults.registerDefaultPreferences();
    }

    // A stand-in executable, a shell script that does nothing: for Moscow ML
    // and Alice ML, which are not installed here, and for located files.
    QString standIn(const QString &name) const
    {
        QFile file(dir.filePath(name));
        if (!file.open(QIODevice::WriteOnly) || file.write("#!/bin/sh\nexit 0\n") < 0)
            qFatal("cannot write the stand-in %s", qPrintable(file.fileName()));
        file.setPermissions(file.permissions() | QFile::ExeOwner | QFile::ExeUser);
        return file.fileName();
    }

    // The standard locations resource for the interpreters named ("alice",
    // "poly", "mosml", "sml"): Poly ML and SML/NJ at their real places, the
    // others as stand-ins; those not named are missing.
    QVariantMap locations(const QStringList &installed) const
    {
        QVariantMap resource;
        for (const auto &[key, name, real] : {std::array<QString, 3>{"aliceml-std", "alice", ""}, {"polyml-std", "poly", "/usr/bin/poly"},
                                              {"mosml-std", "mosml", ""}, {"smlnj-std", "sml", "/usr/bin/sml"}})
            resource[key] = "file://localhost" + (!installed.contains(name) ? dir.filePath("missing/" + name) : real.isEmpty() ? standIn(name) : real);
        return resource;
    }
};

// The preferences window over a temporary store that holds other General
// settings than the defaults. Poly ML and SML/NJ are found at their real
// places; Moscow ML is a stand-in script and Alice ML is missing. Takes
// the application delegate's place for the broadcasts: records each with
// what the store held at that moment, which is what every open window reloads.
struct Prefs : OLBroadcaster {
    Prefs()
    {
        defaults.saveMaximumCommitHistoryLength(50);
        for (QLatin1StringView key : {OLKey::shouldRestoreCommitHistory, OLKey::shouldReopenFiles, OLKey::showLineNumbers})
            defaults.setValue(false, key);
        defaults.saveCommitHistory({QStringLiteral("val kept = 1")});
        defaults.savePreferredInterpreter("file://localhost/usr/bin/poly");
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
        window = std::make_unique<OLPreferencesWindowController>(defaults, *this, resource);
        window->setExecutableChooser([this](QWidget *) { return browseAnswer; });
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }
    template<typename T = QAbstractButton>
    T *child(const QString &name) const
    {
        T *widget = window->findChild<T *>(name);
        if (!widget)
            qFatal("no child %s", qPrintable(name));
        return widget;
    }
    void click(const QString &name) const { child(name)->click(); }
    // Replaces a field's text as typing does, optionally pressing Return.
    void type(QWidget *field, const QString &text, bool enter) const
    {
        QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(field, Qt::Key_Delete);
        QTest::keyClicks(field, text);
        if (enter)
            QTest::keyClick(field, Qt::Key_Return);
    }
    // The format drawn at a character of the example text.
    QTextCharFormat formatAt(int position) const
    {
        auto *example = child<OLTextView>(QStringLiteral("facConsoleExampleTextView"));
        if (!QTest::qWaitFor([example] { return example->isRenderingComplete(); }))
            qWarning("the example text is not drawn yet");
        const QTextBlock block = example->document()->findBlock(position);
        for (const QTextLayout::FormatRange &range : block.layout()->formats()) {
            if (range.start <= position - block.position() && position - block.position() < range.start + range.length)
                return range.format;
        }
        return {};
    }
    // What is stored and shown: the settings, how many style keys the store
    // holds, the controls,
    // the open dialog, and of each of the example's six
    // segments (input, answer, input, answer, input, error) bold, italic and
    // the opacity at its first and last character, and the colour shown of a
    // plain, keyword, comment, string and error character.
    QMap<QString, QString> state() const
    {
        QMap<QString, QString> now = describe(defaults);
        now["face"] = QFontInfo(fontForStyleSet(defaults.loadFontAttributes(true))).styleName();
        int styleKeys = 0;
        for (QLatin1StringView key : OLKey::fontsAndColoursKeys)
            styleKeys += store.settings.contains(key);
        now.insert({{"styleKeys", QString::number(styleKeys)}, {"open", QString::number(window->isVisible())},
                    {"field", child<QLineEdit>("genProcessCommandLineTextField")->text()},
                    {"sizeField", child<QLineEdit>("genHistorySizeTextField")->text()},
                    {"message", QString::number(child<QLabel>("genHistorySizeMessage")->isVisible())},
                    {"popUp", QString::number(child<QComboBox>("genProcessExecutabelChooserButton")->currentIndex())},
                    {"opacityField", QString::number(child<QDoubleSpinBox>("facConsoleAnswerOpacityTextField")->value())}});
        for (const QCheckBox *box : window->centralWidget()->findChildren<QCheckBox *>())
            now[box->objectName()] = box->isChecked() ? "checked" : "";
        if (auto *dialog = window->findChild<QColorDialog *>(); dialog && dialog->isVisible())
            now["dialog"] = dialog->currentColor().name();
        if (auto *dialog = window->findChild<QFontDialog *>(); dialog && dialog->isVisible())
            now["dialog"] = dialog->currentFont().styleName() + u' ' + QString::number(dialog->currentFont().pointSize());
        const int starts[] = {0, 49, 93, 122, 158, 176, child<OLTextView>("facConsoleExampleTextView")->document()->characterCount()};
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
    // What differs from the state of a window just opened over this store.
    QString changes() const
    {
        static const QMap<QString, QString> opened = [] {
            QMap<QString, QString> state = describe(TemporarySettings().defaults);
            state.insert({{"historyLength", "50"}, {"restore", "false"}, {"reopen", "false"}, {"lines", "false"},
                          {"history", "QList(\"val kept = 1\")"}, {"interpreter", "file://localhost/usr/bin/poly"},
                          {"polyPath", "file://localhost/usr/bin/poly"}, {"face", "Book"}, {"styleKeys", "0"}, {"open", "1"},
                          {"field", "/usr/bin/poly"}, {"sizeField", "50"}, {"message", "0"}, {"facConsoleErrorStyleCheckBoxBold", "checked"},
                          {"popUp", "-1"}, {"opacityField", "80"}, {"segment0", "-- 1 1"}, {"segment1", "-- 0.8 0.8"},
                          {"segment2", "-- 1 1"}, {"segment3", "-- 0.8 0.8"}, {"segment4", "-- 1 1"},
                          {"segment5", "b- 0.8 0.8"}, {"regShown", "#000000"}, {"keyShown", "#0033b3"}, {"comShown", "#666666"},
                          {"strShown", "#994d00"}, {"errShown", "#cc0000"}});
            return state;
        }();
        return ::changes(opened, state()).replace(store.dir.path(), QStringLiteral("T"));
    }
    // Runs the steps, each up to the next ";". Typed: c:TEXT into the command
    // line, h:TEXT the history size, then C: and H: press Return; %:TEXT the
    // opacity. Clicked: r, o and n the restore history, reopen and line
    // numbers boxes; T:ab, T:ai, T:eb and T:ei the answers' and errors' bold
    // and italic boxes; R and F Restore Defaults of General and of Fonts and
    // Colours; A Apply. P1 picks the pop-up's second entry; B:NAME locates a
    // stand-in of that name (B: cancels the search); f opens the font dialog,
    // W:NAME a colour well's; D:TEXT picks a colour ("red"), or a face and a
    // size ("Bold,14") of the family; X cancels the dialog; Q closes the
    // window, L loads it again, O opens a new one. Stored elsewhere: s:TEXT
    // the command line (empty: removed), k:KEY=VALUE any key. = tells the
    // changes so far. Tells the changes and the broadcasts (the last when the
    // store held what it holds now).
    QString run(const QString &script)
    {
        QStringList out;
        for (const QString &step : script.split(u';')) {
            const QString text = step.mid(2);
            auto *colours = window->findChild<QColorDialog *>();
            auto *fonts = window->findChild<QFontDialog *>();
            switch (step.isEmpty() ? 0 : step[0].unicode()) {
            case 'c': case 'C': type(child<QLineEdit>("genProcessCommandLineTextField"), text, step[0] == u'C'); break;
            case 'h': case 'H': type(child<QLineEdit>("genHistorySizeTextField"), text, step[0] == u'H'); break;
            case '%': type(child<QDoubleSpinBox>("facConsoleAnswerOpacityTextField"), text, true); break;
            case 'r': click("genHistoryShouldLoadCheckbox"); break;
            case 'o': click("genMiscReopenDocumentsCheckBox"); break;
            case 'n': click("genShowLineNumbersCheckBox"); break;
            case 'T':
                click(QStringLiteral("facConsole%1StyleCheckBox%2").arg(text[0] == u'a' ? "Answer" : "Error", text[1] == u'b' ? "Bold" : "Italic"));
                break;
            case 'R': click("genRestoreDefaultsButton"); break;
            case 'F': click("facConsoleRestoreDefaultsButton"); break;
            case 'A': click("genApplyAndResetEnvButton"); break;
            case 'P':
                child<QComboBox>("genProcessExecutabelChooserButton")->setCurrentIndex(1);
                Q_EMIT child<QComboBox>("genProcessExecutabelChooserButton")->activated(1);
                break;
            case 'B':
                browseAnswer = text.isEmpty() ? QString() : store.standIn(text);
                click("genProcessBrowseExecutable");
                break;
            case 'f':
                child<QAction>(QStringLiteral("facToolBarItem"))->trigger();
                click("facConsoleChooseFont");
                break;
            case 'W': click("facConsoleColorWell" + text); break;
            case 'D':
                if (colours && colours->isVisible())
                    colours->setCurrentColor(QColor::fromString(text));
                else
                    fonts->setCurrentFont(QFontDatabase::font("DejaVu Sans Mono", text.section(u',', 0, 0), text.section(u',', 1).toInt()));
                break;
            case 'X': (colours && colours->isVisible() ? static_cast<QDialog *>(colours) : fonts)->reject(); break;
            case 'Q': window->close(); break;
            case 'L': window->windowDidLoad(); break;
            case 'O': open(); break;
            case 's': defaults.setValue(text.isEmpty() ? QVariant() : QVariant(text), OLKey::preferredInterpreter); break;
            case 'k': defaults.setValue(text.section(u'=', 1), text.section(u'=', 0, 0)); break;
            case '=': out += "= " + changes(); break;
            default: out += "no " + step;
            }
        }
        out += changes();
        if (!calls.isEmpty())
            out += "heard " + calls.join(u' ') + (lastHeard == describe(defaults) ? "" : " early");
        out.removeAll(QString());
        return out.join(QStringLiteral(" ; "));
    }

    TemporarySettings store;
    OLUserDefaults &defaults = store.defaults;
    QStringList calls; // the broadcasts heard, a repeated one once
    QMap<QString, QString> lastHeard; // describe() at the last
    QVariantMap resource = store.locations({QStringLiteral("poly"), QStringLiteral("mosml"), QStringLiteral("sml")});
    std::unique_ptr<OLPreferencesWindowController> window;
    QString browseAnswer;
};
} // namespace

class TestPreferencesWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Step scripts (see Prefs::run). Showing the settings stores and tells
    // nothing; Apply stores only what the user changed, so a choice made
    // elsewhere (the interpreter chooser) stands, shown once the window is
    // loaded again. The command line shows without its prefix. A history size
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
            {"opening, a cancelled font dialog, Apply: no style stored", "f;X;A", "open=1>0 ; heard reset"},
            {"a choice made elsewhere, loaded again", "s:file://localhost/usr/bin/sml;L;A", "field=/usr/bin/poly>/usr/bin/sml | interpreter=file://localhost/usr/bin/poly>file://localhost/usr/bin/sml | open=1>0 ; heard reset"},
            {"a choice made elsewhere stands though not shown", "s:file://localhost/usr/bin/sml;A", "interpreter=file://localhost/usr/bin/poly>file://localhost/usr/bin/sml | open=1>0 ; heard reset"},
            {"command line emptied: the bare prefix", "C:", "field=/usr/bin/poly> | interpreter=file://localhost/usr/bin/poly>file://localhost"},
            {"command line with arguments, two blanks kept", "s:file://localhost/usr/bin/sml @SMLquiet  -x;O;=;C:/usr/bin/sml  @SMLquiet;O", "= field=/usr/bin/poly>/usr/bin/sml @SMLquiet  -x | interpreter=file://localhost/usr/bin/poly>file://localhost/usr/bin/sml @SMLquiet  -x ; field=/usr/bin/poly>/usr/bin/sml  @SMLquiet | interpreter=file://localhost/usr/bin/poly>file://localhost/usr/bin/sml  @SMLquiet"},
            {"command line absent", "s:;O;=;C:/usr/bin/poly -q;O", "= field=/usr/bin/poly> | interpreter=file://localhost/usr/bin/poly> ; field=/usr/bin/poly>/usr/bin/poly -q | interpreter=file://localhost/usr/bin/poly>file://localhost/usr/bin/poly -q"},
            {"command line with three slashes; a space typed %20", "s:file:///usr/bin/poly -q;O;=;C:/opt/my%20ml/poly -q;O", "= field=/usr/bin/poly>/usr/bin/poly -q | interpreter=file://localhost/usr/bin/poly>file:///usr/bin/poly -q ; field=/usr/bin/poly>/opt/my%20ml/poly -q | interpreter=file://localhost/usr/bin/poly>file://localhost/opt/my%20ml/poly -q"},
            {"pop-up entry replaces the arguments; a search cancelled, a file located", "s:file://localhost/usr/bin/sml @SMLquiet;O;P1;=;B:;=;B:located", "= field=/usr/bin/poly>T/mosml | interpreter=file://localhost/usr/bin/poly>file://localhostT/mosml | popUp=-1>1 ; = field=/usr/bin/poly>T/mosml | interpreter=file://localhost/usr/bin/poly>file://localhostT/mosml | popUp=-1>1 ; field=/usr/bin/poly>T/located | interpreter=file://localhost/usr/bin/poly>file://localhostT/located"},
            {"history size, surrounding blanks", "H: 7 ", "historyLength=50>7 | sizeField=50> 7 "},
            {"history size zero", "H:0", "historyLength=50>0 | sizeField=50>0"},
            {"history size a fraction, then whole", "H:12.5;=;H:60", "= message=0>1 | sizeField=50>12.5 ; historyLength=50>60 | sizeField=50>60"},
            {"history size negative", "H:-3", "message=0>1 | sizeField=50>-3"},
            {"history size by Apply, with the command line", "h:42;c:/usr/bin/poly -q;=;A", "= field=/usr/bin/poly>/usr/bin/poly -q | sizeField=50>42 ; field=/usr/bin/poly>/usr/bin/poly -q | historyLength=50>42 | interpreter=file://localhost/usr/bin/poly>file://localhost/usr/bin/poly -q | open=1>0 | sizeField=50>42 ; heard reset"},
            {"history size no whole number by Apply", "h:4x2;c:/usr/bin/poly -q;A", "field=/usr/bin/poly>/usr/bin/poly -q | message=0>1 | sizeField=50>4x2"},
            {"boxes store at once", "r;o;n", "genHistoryShouldLoadCheckbox=>checked | genMiscReopenDocumentsCheckBox=>checked | genShowLineNumbersCheckBox=>checked | lines=false>true | reopen=false>true | restore=false>true ; heard lines"},
            {"boxes clicked twice store false", "r;r;o;o;n;n", "heard lines"},
            {"General defaults, the history cleared; the style stays", "k:fontName=Custom Mono;O;=;R", "= font=DejaVu Sans Mono,12,>Custom Mono,12, | styleKeys=0>1 ; font=DejaVu Sans Mono,12,>Custom Mono,12, | genHistoryShouldLoadCheckbox=>checked | genMiscReopenDocumentsCheckBox=>checked | genShowLineNumbersCheckBox=>checked | history=QList(\"val kept = 1\")>QList() | historyLength=50>100 | lines=false>true | reopen=false>true | restore=false>true | sizeField=50>100 | styleKeys=0>1 ; heard lines clear"},
            {"Fonts and Colours defaults; the General settings stay", "k:fontName=Custom Mono;k:outAlpha=0.42;k:ansFontTraits=3;k:regColor=0.1 0.2 0.3;O;=;F", "= alpha=0.800000012>0.419999987 | alphas=1/0.800000012>1/0.419999987 | answerTraits=16777220>3 | facConsoleAnswerStyleCheckBoxBold=>checked | facConsoleAnswerStyleCheckBoxItalic=>checked | font=DejaVu Sans Mono,12,>Custom Mono,12, | opacityField=80>42 | reg=0.000000 0.000000 0.000000 1.0>0.100000 0.200000 0.300000 1.0 | regShown=#000000>#1a334d | segment1=-- 0.8 0.8>bi 0.42 0.42 | segment3=-- 0.8 0.8>bi 0.42 0.42 | segment5=b- 0.8 0.8>b- 0.42 0.42 | styleKeys=0>4 ; heard update"},
            {"answers: italic and not italic, to bold only; a fraction of a per cent", "k:ansFontTraits=16777217;O;=;T:ab;T:ai;%:12.5;=;O", "= answerTraits=16777220>16777217 | facConsoleAnswerStyleCheckBoxItalic=>checked | segment1=-- 0.8 0.8>-i 0.8 0.8 | segment3=-- 0.8 0.8>-i 0.8 0.8 | styleKeys=0>1 ; = alpha=0.800000012>0.125 | alphas=1/0.800000012>1/0.125 | answerTraits=16777220>16777218 | facConsoleAnswerStyleCheckBoxBold=>checked | opacityField=80>12.5 | segment1=-- 0.8 0.8>b- 0.125 0.125 | segment3=-- 0.8 0.8>b- 0.125 0.125 | segment5=b- 0.8 0.8>b- 0.125 0.125 | styleKeys=0>2 ; alpha=0.800000012>0.125 | alphas=1/0.800000012>1/0.125 | answerTraits=16777220>16777218 | facConsoleAnswerStyleCheckBoxBold=>checked | opacityField=80>12.5 | segment1=-- 0.8 0.8>b- 0.125 0.125 | segment3=-- 0.8 0.8>b- 0.125 0.125 | segment5=b- 0.8 0.8>b- 0.125 0.125 | styleKeys=0>2 ; heard update"},
            {"errors: zero, to bold and italic; a digit beyond 100 refused", "k:errFontTraits=0;O;=;T:eb;T:ei;%:1000;=;O", "= errorTraits=16777218>0 | facConsoleErrorStyleCheckBoxBold=checked> | segment5=b- 0.8 0.8>-- 0.8 0.8 | styleKeys=0>1 ; = alpha=0.800000012>1 | alphas=1/0.800000012>1/1 | errorTraits=16777218>3 | facConsoleErrorStyleCheckBoxItalic=>checked | opacityField=80>100 | segment1=-- 0.8 0.8>-- 1 1 | segment3=-- 0.8 0.8>-- 1 1 | segment5=b- 0.8 0.8>bi 1 1 | styleKeys=0>2 ; alpha=0.800000012>1 | alphas=1/0.800000012>1/1 | errorTraits=16777218>3 | facConsoleErrorStyleCheckBoxItalic=>checked | opacityField=80>100 | segment1=-- 0.8 0.8>-- 1 1 | segment3=-- 0.8 0.8>-- 1 1 | segment5=b- 0.8 0.8>bi 1 1 | styleKeys=0>2 ; heard update"},
            {"errors: bold and not bold, to italic only", "k:errFontTraits=6;O;=;T:eb;T:ei;=;O", "= errorTraits=16777218>6 | styleKeys=0>1 ; = errorTraits=16777218>5 | facConsoleErrorStyleCheckBoxBold=checked> | facConsoleErrorStyleCheckBoxItalic=>checked | segment5=b- 0.8 0.8>-i 0.8 0.8 | styleKeys=0>1 ; errorTraits=16777218>5 | facConsoleErrorStyleCheckBoxBold=checked> | facConsoleErrorStyleCheckBoxItalic=>checked | segment5=b- 0.8 0.8>-i 0.8 0.8 | styleKeys=0>1 ; heard update"},
            {"font dialog on the regular face; a pick, Cancel, closing", "f;=;D:Bold Oblique,14;=;X;=;f;D:Bold,18;Q", "= dialog=>Book 12 ; = dialog=>Bold Oblique 14 | face=Book>Bold Oblique | font=DejaVu Sans Mono,12,>DejaVu Sans Mono,14,Bold Oblique | styleKeys=0>8 ; = styleKeys=0>7 ; face=Book>Bold | font=DejaVu Sans Mono,12,>DejaVu Sans Mono,18,Bold | open=1>0 | styleKeys=0>8 ; heard update"},
            {"font dialog on the stored face", "k:fontStyle=Bold;O;f", "dialog=>Bold 12 | face=Book>Bold | font=DejaVu Sans Mono,12,>DejaVu Sans Mono,12,Bold | styleKeys=0>1"},
            {"plain text colour", "W:Plain;=;D:red", "= dialog=>#000000 ; dialog=>#ff0000 | reg=0.000000 0.000000 0.000000 1.0>1.000000 0.000000 0.000000 1.0 | regShown=#000000>#ff0000 | styleKeys=0>7 ; heard update"},
            {"keyword colour", "W:Keyword;=;D:red", "= dialog=>#0033b3 ; dialog=>#ff0000 | key=0.000000 0.200000 0.700000 1.0>1.000000 0.000000 0.000000 1.0 | keyShown=#0033b3>#ff0000 | styleKeys=0>7 ; heard update"},
            {"comment colour", "W:Comment;=;D:red", "= dialog=>#666666 ; com=0.400000 0.400000 0.400000 1.0>1.000000 0.000000 0.000000 1.0 | comShown=#666666>#ff0000 | dialog=>#ff0000 | styleKeys=0>7 ; heard update"},
            {"string colour", "W:String;=;D:red", "= dialog=>#994d00 ; dialog=>#ff0000 | str=0.600000 0.300000 0.000000 1.0>1.000000 0.000000 0.000000 1.0 | strShown=#994d00>#ff0000 | styleKeys=0>7 ; heard update"},
            {"error colour", "W:Error;=;D:red", "= dialog=>#cc0000 ; dialog=>#ff0000 | err=0.800000 0.000000 0.000000 1.0>1.000000 0.000000 0.000000 1.0 | errShown=#cc0000>#ff0000 | styleKeys=0>7 ; heard update"},
            {"colour cancelled, then kept by closing the window", "W:Error;D:red;X;=;W:Error;D:blue;Q", "= styleKeys=0>7 ; err=0.800000 0.000000 0.000000 1.0>0.000000 0.000000 1.000000 1.0 | errShown=#cc0000>#0000ff | open=1>0 | styleKeys=0>7 ; heard update"},
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
    // rewritten from the first of the resource's locations that exists, not
    // an earlier run's; the settings of interpreters not found stay.
    void chooser_data()
    {
        QTest::addColumn<bool>("installed"); // Poly ML, Moscow ML and SML/NJ, or nothing
        QTest::addColumn<QString>("steps"); // an entry picked; "browse" locates a stand-in, "cancel" finds none; "apply", "close", "escape"
        QTest::addColumn<QString>("expected"); // after each step: open or closed, the result, the stored command line
        const QString mosml = QStringLiteral("file://localhostT/mosml"), located = QStringLiteral("closed accepted file://localhostT/located");
        QTest::newRow("apply button") << true << "Moscow ML;apply" << "open ; closed accepted " + mosml;
        QTest::newRow("close control") << true << "Moscow ML;close" << "open ; closed accepted " + mosml;
        QTest::newRow("Escape") << true << "SML of New Jersey;Moscow ML;escape" << "open ; open ; closed accepted " + mosml;
        QTest::newRow("no pick: close control") << true << "close" << "closed rejected";
        QTest::newRow("no pick: browse cancelled, then apply") << true << "cancel;apply" << "open ; closed rejected";
        QTest::newRow("a located file wins") << true << "Moscow ML;browse" << "open ; " + located;
        QTest::newRow("nothing installed: a file is located") << false << "browse" << located;
        QTest::newRow("an entry of several locations") << true << "Poly ML;apply" << "open ; closed accepted file:///usr/bin/poly";
    }
    void chooser()
    {
        QFETCH(bool, installed);
        QFETCH(QString, steps);
        TemporarySettings store;
        store.defaults.setValue(QStringLiteral("file://localhost/old/mosml"), OLKey::mosmlPath);
        store.defaults.setValue(QStringLiteral("stale"), OLKey::alicePath);
        QVariantMap resource = store.locations(installed ? QStringList{"poly", "mosml", "sml"} : QStringList());
        if (installed)
            resource["polyml-std"] = QStringList{"file:///nonexistent/poly", "file:///usr/bin/poly", "file:///usr/bin/sml"};
        QString browseAnswer;
        OLModeChooserWindowController window(store.defaults, resource);
        window.setExecutableChooser([&](QWidget *) { return browseAnswer; });
        window.show();
        auto *popUp = window.findChild<QComboBox *>(QStringLiteral("chooserButton"));
        QCOMPARE(popUp ? popUp->currentIndex() : -2, installed ? -1 : -2);
        QSignalSpy finished(&window, &QDialog::finished);
        QStringList out;
        for (const QString &step : steps.split(u';')) {
            browseAnswer = step == u"browse" ? store.standIn(QStringLiteral("located")) : QString();
            if (step == u"close")
                window.close();
            else if (step == u"escape")
                QTest::keyClick(&window, Qt::Key_Escape);
            else if (auto *button = window.findChild<QPushButton *>(step == u"cancel" ? QStringLiteral("browse") : step))
                button->click();
            else
                Q_EMIT popUp->activated(popUp->findText(step));
            QStringList result{window.isVisible() ? "open" : "closed"};
            for (const QList<QVariant> &arguments : std::as_const(finished))
                result << (arguments.at(0).toInt() == QDialog::Accepted ? "accepted" : "rejected");
            out << (result << store.settings.value(QStringLiteral("preferredInterpreter")).toString()).join(u' ').trimmed();
        }
        QTEST(out.join(QStringLiteral(" ; ")).replace(store.dir.path(), QStringLiteral("T")), "expected");
        QCOMPARE(store.defaults.stringForKey(OLKey::alicePath), QStringLiteral("stale"));
    }
};

QTEST_MAIN(TestPreferencesWindow)
#include "tst_preferenceswindow.moc"
