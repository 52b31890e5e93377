#pragma once

#include "InstallerTestSupport.h"

#include "cloud/HttpClient.h"
#include "fakes/FakeUpdateServer.h"
#include "installer/InstallerModel.h"

#include <QSignalSpy>

#include <memory>

namespace vl::installer::test {

// A model over the sandbox with a payload, a fake update server, a filled-in profile, and
// every change of the progress recorded.
struct ModelHarness {
    Sandbox box;
    fakes::FakeUpdateServer server;
    std::unique_ptr<InstallerModel> model;
    std::vector<double> progress;

    explicit ModelHarness(bool withPayload = true)
    {
        if (withPayload)
            box.makePayload();
        box.context.http = &sharedHttpClient();
        box.context.updatesBaseUrl = server.baseURL();
        box.context.subscribeTimeout = std::chrono::seconds(20);
        make();
    }

    void make()
    {
        model = std::make_unique<InstallerModel>(box.context);
        model->setFirstName(QStringLiteral("Ann"));
        model->setEmail(QStringLiteral("ann@example.org"));
        QObject::connect(model.get(), &InstallerModel::overallProgressChanged,
                         [this] { progress.push_back(model->overallProgress()); });
    }

    // Walks to the parallax page and presses Install, as the window does.
    void install()
    {
        while (model->step() != InstallerModel::Step::parallax)
            model->advance();
        model->refreshComponents();
        model->advance();
        model->startInstallation();
    }

    bool waitForEnd(int timeoutMs = 60000)
    {
        return waitUntil([this] { return !model->isInstalling(); }, timeoutMs);
    }

    std::vector<std::string> states() const
    {
        std::vector<std::string> list;
        for (const auto& component : model->components())
            list.push_back(component.id + ":" + stateName(component.state));
        return list;
    }

    std::string detail(const std::string& id) const
    {
        for (const auto& component : model->components())
            if (component.id == id)
                return component.detail.value_or("");
        return "<no component>";
    }
};

} // namespace vl::installer::test
