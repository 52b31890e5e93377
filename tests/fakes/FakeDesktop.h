#pragma once

#include "support/Desktop.h"
#include "support/FilePicker.h"

#include <QStringList>
#include <QTimer>

#include <deque>
#include <vector>

namespace vl::test {

// A desktop that only records: what was revealed, which pages were opened.
class FakeDesktop final : public support::Desktop {
public:
    void reveal(const QString& path) override { revealed.push_back(path); }
    bool openUrl(const QUrl& url) override
    {
        opened.push_back(url);
        return opensPages;
    }

    QStringList revealed;
    std::vector<QUrl> opened;
    bool opensPages = true;
};

// Answers file requests for the user: each pick takes the next scripted answer (an empty
// string is a cancel), delivered from the event loop like a real dialog's.
class FakeFilePicker final : public support::FilePicker {
public:
    void pick(const support::FileRequest& request, Answer answer) override
    {
        requests.push_back(request);
        QString path;
        if (!answers.empty()) {
            path = answers.front();
            answers.pop_front();
        }
        QTimer::singleShot(0, [answer = std::move(answer), path] { answer(path); });
    }

    std::deque<QString> answers;
    std::vector<support::FileRequest> requests;
};

} // namespace vl::test
