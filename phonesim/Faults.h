// Faults on demand: what goes wrong, on which request, and the bookkeeping
// that decides when an armed fault strikes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace phonesim {

enum class FaultAction {
    Cut,             // the link is cut (after afterBytes, or at a request's stage)
    Stall,           // the phone goes silent for this request at the stage
    CorruptRequest,  // one byte of the request frame is flipped on the way in
    CorruptAnswer,   // one byte of the answer frame is flipped on the way out
    Refuse,          // the request is answered with `code`, nothing done
    PowerLoss,       // the phone loses power; a packet writes `byte` data bytes first
};

enum class FaultStage {
    Request,       // while the request arrives: nothing is carried out
    BeforeAnswer,  // carried out, no answer
    MidAnswer,     // carried out, half the answer
};

struct FaultOrder {
    FaultAction action = FaultAction::Refuse;
    // Protocol command name ("Program", "Erase", ...), "packet" (Program or
    // RamDownload with data), "any", or a test command ("SUSPEND").
    std::string command = "any";
    uint32_t occurrence = 1;  // the k-th matching request strikes
    uint32_t times = 1;       // and so many matching requests after it
    FaultStage stage = FaultStage::BeforeAnswer;
    uint32_t code = 0;                   // refuse
    uint32_t byte = 0;                   // corrupt: frame offset; power loss: bytes kept
    std::optional<uint64_t> afterBytes;  // cut: after this many bytes from the host
};

// "cut", "stall", ...; false when the name is none of them.
bool FaultActionByName(const std::string& name, FaultAction& action);
bool FaultStageByName(const std::string& name, FaultStage& stage);

class FaultBook {
  public:
    void Arm(const FaultOrder& fault);
    void Clear() { armed.clear(); }

    // Counts the request against every armed fault it matches and returns the
    // first that strikes now.
    std::optional<FaultOrder> Strike(const std::string& command, bool isDataPacket);
    // How many of `size` bytes from the host arrive before a byte-count cut;
    // `cut` says whether the cut happens within them.
    size_t BytesBeforeCut(size_t size, bool& cut);

  private:
    struct Armed {
        FaultOrder wanted;
        uint32_t seen = 0;
        uint32_t struck = 0;
        uint64_t bytes = 0;
    };
    std::vector<Armed> armed;
};

}  // namespace phonesim
