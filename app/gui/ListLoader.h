#pragma once

#include <QObject>
#include <QTimer>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "app/core/CfgLoadResult.h"
#include "app/core/CfgSetup.h"
#include "app/core/ItemList.h"

namespace sequora::gui {

class ItemListModel;

/// Loads one .cfg file at a time into the item list, a slice at a time on the window
/// thread, so that the window repaints and answers input between slices. With a pause per
/// line it waits that long before each command line on a timer, not asleep, so the window
/// stays live during the wait as well; without one it reads lines for a slice's worth of
/// time and then lets the event loop turn. The model hears of a slice's rows once, when the
/// slice ends, so a long load costs the views one update per slice, not one per row.
/// Threads: the window thread only; the timer fires there.
class ListLoader : public QObject {
    Q_OBJECT
public:
    /// Told how a load ended, once per load, on the window thread.
    using Finished = std::function<void(const CfgLoadResult& result)>;
    /// Told after each slice that the load goes on.
    using Progress = std::function<void()>;

    /// How long a slice reads lines when there is no pause per line.
    static constexpr std::chrono::milliseconds kSlice{15};

    /// Loads into `list` and tells `model` of the rows (neither owned; both must outlive
    /// the loader), waiting `pausePerLine` before each command line.
    ListLoader(ItemList& list, ItemListModel& model, std::chrono::milliseconds pausePerLine,
               Finished finished, Progress progress);
    /// Abandons a load under way without telling anyone.
    ~ListLoader() override;

    /// Starts loading `path`. Without a pause the first slice is read at once, so a small
    /// file is loaded, and `finished` called, before Start returns; so is a file that cannot
    /// be opened. Does nothing while a load is under way.
    void Start(const std::string& path);
    /// True between Start and the call of `finished`.
    bool Loading() const { return mSetup.has_value(); }
    /// Ends the load under way before its next line, as a load that stopped there: the rows
    /// read so far stay, and `finished` is called before Cancel returns.
    void Cancel();
    /// Ends the load under way without calling `finished` (the window is going away).
    void Abandon();

    /// The share of the file read so far, in percent.
    int Percent() const;
    /// The items appended so far.
    int ItemsLoaded() const;
    /// The time since the load started.
    std::chrono::steady_clock::duration Elapsed() const;

private:
    void RunSlice();
    void Finish();

    // Every member is used on the window thread only.
    ItemList& mList;
    ItemListModel& mModel;
    std::chrono::milliseconds mPausePerLine;
    Finished mFinished;
    Progress mProgress;
    QTimer mTimer;
    std::optional<CfgSetup> mSetup;  // the load under way
    std::chrono::steady_clock::time_point mStartedAt;
};

}  // namespace sequora::gui
