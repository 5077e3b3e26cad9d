#include "app/gui/ListLoader.h"

#include <utility>

#include "app/gui/ItemListModel.h"

namespace sequora::gui {

ListLoader::ListLoader(ItemList& list, ItemListModel& model, std::chrono::milliseconds pausePerLine,
                       Finished finished, Progress progress)
    : mList(list),
      mModel(model),
      mPausePerLine(pausePerLine),
      mFinished(std::move(finished)),
      mProgress(std::move(progress)) {
    mTimer.setTimerType(Qt::PreciseTimer);
    // A pause is waited between the timer's turns; without one the next slice comes as soon
    // as the event loop has handled what arrived meanwhile.
    mTimer.setInterval(mPausePerLine);
    connect(&mTimer, &QTimer::timeout, this, &ListLoader::RunSlice);
}

ListLoader::~ListLoader() {
    Abandon();
}

void ListLoader::Start(const std::string& path) {
    if (Loading()) return;
    mStartedAt = std::chrono::steady_clock::now();
    // The loader's timer does the waiting, so the reader itself never sleeps.
    mSetup.emplace(mList, std::chrono::milliseconds(0));
    if (!mSetup->Begin(path)) {
        Finish();
        return;
    }
    if (mPausePerLine.count() == 0) {
        RunSlice();
        if (!Loading()) return;
    }
    mTimer.start();
}

void ListLoader::RunSlice() {
    if (!Loading()) return;
    const auto end = std::chrono::steady_clock::now() + kSlice;
    bool more = true;
    mModel.BeginBatch();
    if (mPausePerLine.count() > 0) {
        more = mSetup->Step();
    } else {
        while ((more = mSetup->Step()) && std::chrono::steady_clock::now() < end) {}
    }
    mModel.EndBatch();
    if (!more) {
        Finish();
        return;
    }
    if (mProgress) mProgress();
}

void ListLoader::Cancel() {
    if (!Loading()) return;
    mSetup->Cancel();
    Finish();
}

void ListLoader::Abandon() {
    mTimer.stop();
    mSetup.reset();
}

void ListLoader::Finish() {
    mTimer.stop();
    const CfgLoadResult result = mSetup->Result();
    mSetup.reset();
    if (mFinished) mFinished(result);
}

int ListLoader::Percent() const {
    if (!Loading() || mSetup->FileBytes() == 0) return 0;
    return static_cast<int>(mSetup->BytesRead() * 100 / mSetup->FileBytes());
}

int ListLoader::ItemsLoaded() const {
    return Loading() ? mSetup->Result().itemsLoaded : 0;
}

std::chrono::steady_clock::duration ListLoader::Elapsed() const {
    return std::chrono::steady_clock::now() - mStartedAt;
}

}  // namespace sequora::gui
