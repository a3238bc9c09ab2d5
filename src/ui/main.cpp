// quorvel: the desktop application. Files and folders named on the command
// line are added at start, as if dropped on the window.

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QTableView>
#include <QTimer>

#include <iostream>

#include "document/AppDelegate.h"
#include "exchange/MetadataExchange.h"
#include "ui/AppIcon.h"
#include "ui/FileTableModel.h"
#include "ui/MainWindow.h"
#include "ui/QtRunLoopAdapter.h"
#include "ui/QtUIHost.h"
#include "ui/SmokeTest.h"

using quorvel::ui::MainWindow;

namespace {

// Runs `check` once the controller has finished what it was given at start
// (or after `timeoutMs`), then quits with its exit code.
void whenIdle(MainWindow& window, int timeoutMs, std::function<int()> check) {
  auto* timer = new QTimer(&window);
  auto elapsed = std::make_shared<QElapsedTimer>();
  elapsed->start();
  QObject::connect(timer, &QTimer::timeout, &window, [&window, timer, elapsed, timeoutMs, check] {
    const bool timedOut = elapsed->elapsed() > timeoutMs;
    if (window.delegate().isBusy() && !timedOut) {
      return;
    }
    timer->stop();
    window.refreshNow();
    int code = timedOut ? 3 : check();
    if (timedOut) {
      std::cerr << "quorvel: still busy after " << timeoutMs / 1000 << " s\n";
    }
    QApplication::exit(code);
  });
  timer->start(50);
}

// Selects rows `first` to `last` (counted from 1, both included).
void selectRows(MainWindow& window, int first, int last) {
  last = std::min(last, window.tableModel().rowCount());
  if (first < 1 || last < first) {
    return;
  }
  std::vector<std::size_t> indexes;
  for (int i = first - 1; i < last; ++i) {
    indexes.push_back(static_cast<std::size_t>(i));
  }
  window.delegate().setSelectionIndexes(indexes);
  window.scheduleRefresh(MainWindow::RefreshSelection | MainWindow::RefreshEditor);
  window.refreshNow();
}

// The command line. Parsed before the application object exists, so that
// --help and --version work without a display.
struct Options {
  QCommandLineOption smokeTest{
      QStringLiteral("smoke-test"),
      QStringLiteral("Add the files, then select, edit, undo, search, sort and close through the "
                     "window, checking each step, and quit (exit status 0 when every check "
                     "passed). Alerts are answered with their first button; nothing is saved.")};
  QCommandLineOption screenshot{
      QStringLiteral("screenshot"),
      QStringLiteral("Once the files are added, save a picture of the window to PATH and quit."),
      QStringLiteral("PATH")};
  QCommandLineOption screenshotOf{
      QStringLiteral("screenshot-of"),
      QStringLiteral("What --screenshot shows: main, alltags, preferences[:PAGE], mappings, "
                     "errorlog, hex, convert, addtag, alert, progress or export."),
      QStringLiteral("WHAT"), QStringLiteral("main")};
  QCommandLineOption select{
      QStringLiteral("select"),
      QStringLiteral("Rows to select once the files are added: N (the first N) or FIRST-LAST."),
      QStringLiteral("ROWS")};

  void addTo(QCommandLineParser& parser) const {
    parser.setApplicationDescription(QStringLiteral("Edit the tags of audio files."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("files"),
                                 QStringLiteral("Audio files and folders to add."),
                                 QStringLiteral("[FILES...]"));
    parser.addOption(smokeTest);
    parser.addOption(screenshot);
    parser.addOption(screenshotOf);
    parser.addOption(select);
  }
};

void setApplicationNames() {
  QCoreApplication::setApplicationName(QStringLiteral("Quorvel"));
  QCoreApplication::setApplicationVersion(QStringLiteral(QUORVEL_VERSION));
  QCoreApplication::setOrganizationDomain(QStringLiteral("quorvel.org"));
}

}  // namespace

int main(int argc, char* argv[]) {
  const Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "-h" || arg == "--help" || arg == "-v" || arg == "--version") {
      QCoreApplication core(argc, argv);
      setApplicationNames();
      QCommandLineParser parser;
      options.addTo(parser);
      parser.process(core);  // prints and exits
      return 0;
    }
  }

  QApplication app(argc, argv);
  setApplicationNames();
  QApplication::setDesktopFileName(QStringLiteral("org.quorvel.Quorvel"));
  QApplication::setWindowIcon(quorvel::ui::appIcon());
  QCommandLineParser parser;
  options.addTo(parser);
  parser.process(app);
  const auto& smokeTest = options.smokeTest;
  const auto& screenshot = options.screenshot;
  const auto& screenshotOf = options.screenshotOf;
  const auto& select = options.select;

  quorvel::ui::QtRunLoopAdapter runLoop;
  // The controller reaches export and import through this interface.
  quorvel::MetadataExchangeInterface::install(std::make_shared<quorvel::MetadataExchange>());
  MainWindow window;
  const bool automatic = parser.isSet(smokeTest) || parser.isSet(screenshot);
  // Nobody is there to answer: alerts take their first button.
  window.host().setNonInteractive(automatic);
  window.show();

  const QStringList paths = parser.positionalArguments();
  // After the window is up, so the progress sheet has a window to sit on.
  QTimer::singleShot(0, &window, [&window, paths] { window.openPaths(paths); });

  // "N" is rows 1 to N; "A-B" rows A to B.
  int selectFirst = 1;
  int selectLast = 0;
  if (parser.isSet(select)) {
    const QStringList range = parser.value(select).split(QLatin1Char('-'));
    selectLast = range.back().toInt();
    selectFirst = range.size() > 1 ? range.front().toInt() : 1;
  }
  if (parser.isSet(smokeTest)) {
    whenIdle(window, 240000, [&window] {
      const int rows = window.tableModel().rowCount();
      std::cout << "quorvel smoke test: " << rows << " rows\n";
      const auto failures = quorvel::ui::SmokeTest(window).run();
      std::cout << (failures.empty() ? "passed" : "FAILED") << "\n";
      return failures.empty() ? 0 : 1;
    });
  } else if (parser.isSet(screenshot)) {
    const QString path = parser.value(screenshot);
    const QString what = parser.value(screenshotOf);
    whenIdle(window, 240000, [&window, path, what, selectFirst, selectLast] {
      selectRows(window, selectFirst, selectLast > 0 ? selectLast : 1);
      if (!window.saveScreenshot(path, what)) {
        std::cerr << "quorvel: could not save " << path.toStdString() << "\n";
        return 1;
      }
      std::cout << "quorvel: saved " << path.toStdString() << "\n";
      return 0;
    });
  }
  return QApplication::exec();
}
