#include "app/AppShell.h"

#include "cloud/KeyringSecretStore.h"
#include "screens/PictureProvider.h"
#include "support/Desktop.h"

#include <QQmlApplicationEngine>
#include <QQuickStyle>
#include <QQuickWindow>

namespace vl::app {

AppShell::AppShell(ProjectStore& store, ShellContext context)
    : store_(store)
    , workspace_(&store)
    , menuCommands_(&store)
    , chunks_(&store)
    , characters_(&store)
    , transcript_(&store)
    , elements_(&store)
    , desktop_(context.desktop ? context.desktop : &support::systemDesktop())
    , givenFilePicker_(context.filePicker)
{
    SecretStore& secrets = context.secrets ? *context.secrets : systemSecretStore();
    Clipboard* clipboard = context.clipboard;
    if (!clipboard) {
        ownClipboard_ = std::make_unique<SystemClipboard>();
        clipboard = ownClipboard_.get();
    }
    // Pastes into limited text controls ask the clipboard's size before fetching it.
    previousPasteReader_ = design::EditableTextAttached::setClipboardReader([clipboard](std::size_t maxBytes) {
        ClipboardText read = clipboard->readText(maxBytes);
        return design::PastedText{QString::fromStdString(read.text), read.kind == ClipboardText::Kind::tooLarge};
    });

    screens::KeySetupContext keys;
    keys.secrets = &secrets;
    keys.http = context.http ? context.http : &sharedHttpClient();
    keys.endpoints = context.endpoints.value_or(store.context().endpoints);
    keys.clipboard = clipboard;
    keys.desktop = context.desktop ? context.desktop : &support::systemDesktop();
    if (!context.keysURL.isEmpty())
        keys.keysURL = context.keysURL;
    keys.watchInterval = context.keyWatchInterval;
    HttpClient* http = keys.http;
    keySetup_ = std::make_unique<screens::KeySetupController>(&store, std::move(keys));
    settings_ = std::make_unique<screens::SettingsModel>(&store, &secrets, keySetup_.get(),
                                                         context.engineLookInterval);

    Settings& defaults = *store.context().settings;
    Settings* shared = context.sharedSuite ? context.sharedSuite : &defaults;
    onboarding_ = std::make_unique<screens::OnboardingController>(defaults);
    support::SupportContext contribution;
    contribution.defaults = &defaults;
    contribution.shared = shared;
    contribution.http = http;
    contribution.desktop = context.desktop ? context.desktop : &support::systemDesktop();
    if (!context.supportBaseURL.empty())
        contribution.baseURL = context.supportBaseURL;
    contribution.pollInterval = context.supportPollInterval;
    contribution.isTest = context.supportIsTest;
    support_ = std::make_unique<support::SupportController>(std::move(contribution), true);
    onboardingModel_ = std::make_unique<screens::OnboardingModel>(&store, &secrets, &defaults, shared);
}

AppShell::~AppShell()
{
    design::EditableTextAttached::setClipboardReader(std::move(previousPasteReader_));
}

QUrl AppShell::mainWindowUrl()
{
    return QUrl(QStringLiteral("qrc:/Verseloom/App/Main.qml"));
}

QQuickWindow* AppShell::load(QQmlApplicationEngine& engine)
{
    // Fusion follows the window's palette, so menus and dialogs can be made dark. The
    // style is fixed once per process, before the first QML that uses the controls.
    static const bool styled = [] {
        QQuickStyle::setStyle(QStringLiteral("Fusion"));
        return true;
    }();
    Q_UNUSED(styled);
    engine.addImportPath(QStringLiteral("qrc:/"));
    screens::PictureProvider::addTo(engine);

    // Dialogs are made in this engine; they sit over the window once it exists.
    if (!givenFilePicker_)
        filePicker_ = std::make_unique<support::QmlFilePicker>(engine);
    screenServices_ = std::make_unique<screens::ScreenServices>(
        store_, givenFilePicker_ ? *givenFilePicker_ : *filePicker_, *desktop_,
        screens::ProjectLists{&chunks_, &characters_, &elements_, &transcript_});
    screenServices_->registerFor(engine);
    engine.setInitialProperties({
        {QStringLiteral("workspace"), QVariant::fromValue(&workspace_)},
        {QStringLiteral("menuCommands"), QVariant::fromValue(&menuCommands_)},
        {QStringLiteral("keySetup"), QVariant::fromValue(keySetup_.get())},
        {QStringLiteral("settingsModel"), QVariant::fromValue(settings_.get())},
        {QStringLiteral("onboarding"), QVariant::fromValue(onboarding_.get())},
        {QStringLiteral("onboardingModel"), QVariant::fromValue(onboardingModel_.get())},
        {QStringLiteral("support"), QVariant::fromValue(support_.get())},
    });

    engine.load(mainWindowUrl());
    const auto roots = engine.rootObjects();
    QQuickWindow* window = roots.isEmpty() ? nullptr : qobject_cast<QQuickWindow*>(roots.constFirst());
    if (filePicker_)
        filePicker_->setParentWindow(window);
    // Frames are swapped on the render thread; the model hears of the first one on its own.
    if (window)
        QObject::connect(window, &QQuickWindow::frameSwapped, &workspace_, &WorkspaceModel::markWindowShown,
                         static_cast<Qt::ConnectionType>(Qt::QueuedConnection | Qt::SingleShotConnection));
    return window;
}

} // namespace vl::app
