// Readers in flight: threads that each open the file by its name and fetch the starts of the frames
// the calling thread hands out, a window of slots ahead of the sample it is taking. The calling
// thread alone takes the samples, in order, so the picture is the one the frame-by-frame loop
// draws; a reader that cannot open or read hands that sample back to it.
#include <atomic>
#include <cstring>

#include "core/fileio/File.h"
#include "core/thread/WorkerThread.h"
#include "wave/FileMaker.h"
#include "wave/SampleRun.h"

namespace {

std::atomic<std::uint32_t> readersTaken{0};

// Takes up to wanted readers from the process's budget; answers how many it got.
std::uint32_t takeReaders(std::uint32_t wanted) {
    std::uint32_t taken = readersTaken.load();
    for (;;) {
        const std::uint32_t free = taken < readersInProcess ? readersInProcess - taken : 0;
        const std::uint32_t granted = wanted < free ? wanted : free;
        if (granted == 0) {
            return 0;
        }
        if (readersTaken.compare_exchange_weak(taken, taken + granted)) {
            return granted;
        }
    }
}

// A reader is a loop around one blocking read: a small stack does.
constexpr std::uint32_t readerStackBytes = 64u * 1024u;
constexpr std::uint32_t maxReadersPerPicture = 32;
// Frames handed out ahead of the sample being taken: room for every reader to have one in hand
// and one waiting.
constexpr std::uint32_t slotCount = 2 * maxReadersPerPicture;

enum class SlotState : std::uint8_t { Waiting, Fetched, Failed };

struct Slot {
    std::uint32_t target;
    std::uint8_t bytes[sampleBytesTouched];
    SlotState state;
};

// Condition 0 wakes readers (frames handed out, or stop); condition 1 the calling thread (a slot
// filled, or a reader lost).
constexpr std::uint32_t readersWake = 0;
constexpr std::uint32_t takerWakes = 1;

// What the calling thread and its readers share, under meeting.
struct FlightDesk {
    Rendezvous meeting;
    FileMaker* maker;
    const char* name;
    std::uint32_t readBytes;
    Slot slots[slotCount];
    // Samples handed out so far (absolute numbers), and the next one a reader takes.
    std::uint32_t handedOut;
    std::uint32_t claimed;
    bool stop;
    // A reader could not open the file: the calling thread goes on alone.
    bool readerLost;
    // Where the hand-out stands: the position and target of sample handedOut, and whether it may go
    // on (false once a frame is cut by the end of the file, or the sampling ends before it).
    float position;
    std::uint32_t target;
    bool handing;
};

// One frame's start, read through the reader's own file; false when it is not all there.
bool fetch(File& file, std::uint32_t target, std::uint8_t* bytes, std::uint32_t count) {
    if (!file.Seek(target) || file.AtEnd()) {
        return false;
    }
    return file.Read(bytes, count) == count && file.IsOk();
}

void* readerMain(void* context) {
    FlightDesk& desk = *static_cast<FlightDesk*>(context);
    File* file = desk.maker->MakeFile();
    const bool opened = file != nullptr && file->Open(desk.name);
    desk.meeting.Enter();
    if (!opened) {
        desk.readerLost = true;
        desk.meeting.Wake(takerWakes);
    }
    while (opened) {
        while (!desk.stop && desk.claimed >= desk.handedOut) {
            desk.meeting.Wait(readersWake);
        }
        if (desk.stop) {
            break;
        }
        Slot& slot = desk.slots[desk.claimed % slotCount];
        ++desk.claimed;
        const std::uint32_t target = slot.target;
        desk.meeting.Leave();
        std::uint8_t bytes[sampleBytesTouched] = {};
        const bool fetched = fetch(*file, target, bytes, desk.readBytes);
        desk.meeting.Enter();
        std::memcpy(slot.bytes, bytes, sizeof bytes);
        slot.state = fetched ? SlotState::Fetched : SlotState::Failed;
        desk.meeting.Wake(takerWakes);
    }
    desk.meeting.Leave();
    // The file closes with its object, on this thread, before the thread ends.
    delete file;
    return nullptr;
}

// Hands out frames up to a window ahead of next, each wholly inside the file; stops for good at
// the first that is not, or when the sampling would end before it. Entered.
void handOut(FlightDesk& desk, const SampleRun& run) {
    const SamplingJob& job = *run.job;
    const std::uint32_t before = desk.handedOut;
    while (desk.handing && desk.handedOut < job.sampleCount && desk.handedOut - run.next < slotCount) {
        if (std::uint64_t{desk.target} + job.readBytes > run.fileSize) {
            desk.handing = false;
            break;
        }
        Slot& slot = desk.slots[desk.handedOut % slotCount];
        slot.target = desk.target;
        slot.state = SlotState::Waiting;
        ++desk.handedOut;
        // The same single-precision steps as the run's own.
        desk.position = desk.position + run.step;
        desk.target = frameSeekTarget(desk.position, job.values.bytesPerFrame, job.values.dataOffset);
        if (desk.target >= run.fileSize) {
            desk.handing = false;
        }
    }
    // One reader per frame handed out: waking them all for each would cost more than the read.
    for (std::uint32_t i = before; i != desk.handedOut; ++i) {
        desk.meeting.Wake(readersWake);
    }
}

// Takes the handed-out samples in order until one is not fetched or none is left. Entered on
// entry and on return.
void takeInOrder(FlightDesk& desk, SampleRun& run) {
    handOut(desk, run);
    while (!run.ended && run.next < desk.handedOut) {
        Slot& slot = desk.slots[run.next % slotCount];
        while (slot.state == SlotState::Waiting && !desk.readerLost) {
            desk.meeting.Wait(takerWakes);
        }
        if (slot.state != SlotState::Fetched) {
            return;
        }
        std::uint8_t bytes[sampleBytesTouched];
        std::memcpy(bytes, slot.bytes, sizeof bytes);
        desk.meeting.Leave();
        takeSampleFromMemory(run, bytes);
        desk.meeting.Enter();
        handOut(desk, run);
    }
}

} // namespace

std::uint32_t readersInFlight() { return readersTaken.load(); }

bool sampleInFlight(SampleRun& run, std::uint32_t readers) {
    const SamplingJob& job = *run.job;
    if (job.moreFiles == nullptr) {
        return false;
    }
    const std::uint32_t granted = takeReaders(readers < maxReadersPerPicture ? readers : maxReadersPerPicture);
    if (granted == 0) {
        return false;
    }
    std::uint32_t started = 0;
    {
        // Here, not on the heap: the desk lives exactly as long as the threads that use it.
        FlightDesk desk{};
        desk.maker = job.moreFiles;
        desk.name = job.name;
        desk.readBytes = job.readBytes;
        desk.handedOut = run.next;
        desk.claimed = run.next;
        desk.position = run.position;
        desk.target = run.target;
        desk.handing = true;
        WorkerThread threads[maxReadersPerPicture];
        if (desk.meeting.made()) {
            while (started < granted && threads[started].Start(readerMain, &desk, readerStackBytes)) {
                ++started;
            }
        }
        if (started > 0) {
            desk.meeting.Enter();
            takeInOrder(desk, run);
            desk.stop = true;
            desk.meeting.WakeAll(readersWake);
            desk.meeting.Leave();
        }
        // Every reader ends its read in hand, closes its file and is joined here.
        for (std::uint32_t i = 0; i < started; ++i) {
            threads[i].Join();
        }
    }
    readersTaken.fetch_sub(granted);
    if (!run.ended) {
        run.job->file->Seek(run.target);
    }
    return started > 0;
}
