#include "support/FilePicker.h"

#include <QQmlComponent>
#include <QQmlEngine>
#include <QWindow>

namespace vl::support {

QString pictureNameFilter()
{
    return QStringLiteral("Images (*.png *.jpg *.jpeg *.webp)");
}

namespace {

// Carries one answer from a dialog's accepted/rejected signals, then removes the dialog.
class DialogAnswer : public QObject {
    Q_OBJECT
public:
    DialogAnswer(QObject* dialog, const char* selectionProperty, FilePicker::Answer answer)
        : QObject(dialog)
        , dialog_(dialog)
        , selectionProperty_(selectionProperty)
        , answer_(std::move(answer))
    {
        connect(dialog, SIGNAL(accepted()), this, SLOT(accepted()));
        connect(dialog, SIGNAL(rejected()), this, SLOT(rejected()));
    }

private slots:
    void accepted() { finish(dialog_->property(selectionProperty_).toUrl().toLocalFile()); }
    void rejected() { finish(QString()); }

private:
    void finish(const QString& path)
    {
        if (!answer_)
            return;
        auto answer = std::move(answer_);
        answer_ = nullptr;
        dialog_->deleteLater();
        answer(path);
    }

    QObject* dialog_;
    const char* selectionProperty_;
    FilePicker::Answer answer_;
};

} // namespace

QmlFilePicker::QmlFilePicker(QQmlEngine& engine, QWindow* parentWindow)
    : engine_(engine)
    , parentWindow_(parentWindow)
{
}

void QmlFilePicker::setParentWindow(QWindow* window)
{
    parentWindow_ = window;
}

void QmlFilePicker::pick(const FileRequest& request, Answer answer)
{
    const bool folder = request.mode == FileRequest::Mode::Folder;
    QQmlComponent component(&engine_);
    component.setData(folder ? QByteArrayLiteral("import QtQuick.Dialogs\nFolderDialog {}\n")
                             : QByteArrayLiteral("import QtQuick.Dialogs\nFileDialog {}\n"),
                      QUrl());
    QObject* dialog = component.create();
    if (dialog == nullptr) {
        qWarning("File dialog unavailable: %s", qPrintable(component.errorString()));
        answer(QString());
        return;
    }
    QQmlEngine::setObjectOwnership(dialog, QQmlEngine::CppOwnership);
    dialog->setProperty("title", request.title);
    if (!request.acceptLabel.isEmpty())
        dialog->setProperty("acceptLabel", request.acceptLabel);
    if (!request.startFolder.isEmpty())
        dialog->setProperty("currentFolder", QUrl::fromLocalFile(request.startFolder));
    if (!folder && !request.nameFilters.isEmpty())
        dialog->setProperty("nameFilters", request.nameFilters);
    if (parentWindow_)
        dialog->setProperty("parentWindow", QVariant::fromValue(parentWindow_.data()));
    new DialogAnswer(dialog, folder ? "selectedFolder" : "selectedFile", std::move(answer));
    QMetaObject::invokeMethod(dialog, "open");
}

} // namespace vl::support

#include "FilePicker.moc"
