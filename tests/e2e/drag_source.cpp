// A window to drag files from, as a file manager would: pressing the mouse in it starts a drag
// of the files named on the command line. It stays open after the drop, since a drag source
// that goes away too early takes its file list with it.
// Usage: drag_source FILE-OR-URL...   (an argument starting "file:" is taken as an encoded URL,
// as it is, so a test can offer a name that is not valid UTF-8)
#include <QApplication>
#include <QDrag>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

#include <cstdio>

namespace {

class DragSource : public QWidget {
public:
    explicit DragSource(QList<QUrl> urls)
        : m_urls(std::move(urls))
    {
        setWindowTitle(QStringLiteral("drag source"));
        resize(200, 200);
    }

protected:
    void mousePressEvent(QMouseEvent* /*event*/) override
    {
        auto* data = new QMimeData;
        data->setUrls(m_urls);
        auto* drag = new QDrag(this);
        drag->setMimeData(data);
        const Qt::DropAction action = drag->exec(Qt::CopyAction);
        std::printf("drop action %d\n", static_cast<int>(action));
        std::fflush(stdout);
    }

private:
    QList<QUrl> m_urls;
};

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QList<QUrl> urls;
    for (int i = 1; i < argc; ++i) {
        const QByteArray argument(argv[i]);
        urls.append(argument.startsWith("file:")
                        ? QUrl::fromEncoded(argument)
                        : QUrl::fromLocalFile(QString::fromLocal8Bit(argument)));
    }
    DragSource source(urls);
    source.show();
    return QApplication::exec();
}
