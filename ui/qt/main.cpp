// quillshade: the reader as a Qt 6 program, a thin main over the Qt window library.
#include <QApplication>
#include <QIcon>
#include <QTimer>

#include <filesystem>

#include "story/code_page.h"
#include "ui/qt/reader_window.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(
      QString::fromUtf16(quillshade::kApplicationTitle.data(), static_cast<qsizetype>(quillshade::kApplicationTitle.size())));
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/quillshade/quillshade.ico")));
  // Story files are made in code page 932, whatever the system's own encoding.
  quillshade::ReaderWindow window(quillshade::Cp932CodePage());
  window.show();
  // The window starts as it always does, then loads the story named on the command line
  // (Qt has taken its own options out of argv). The name's bytes are the file's name.
  if (argc >= 2) {
    const std::filesystem::path story(argv[1]);
    QTimer::singleShot(0, &window, [&window, story] { window.OpenStoryAt(story); });
  }
  return QApplication::exec();
}
