#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace client {

// The caption of every message box of the program.
inline constexpr std::string_view kProgramCaption = "Merrowin Client";

struct MultihomedAnswer {
    bool ok = false;  // false: the dialog was closed another way, so the first address is used
    std::size_t row = 0;
    bool showAgain = false;
};

// Every message box and dialog the client raises. A window implements them as modal dialogs;
// console mode prints to stderr and answers from the terminal or with the documented default.
class ClientDialogs {
  public:
    virtual ~ClientDialogs() = default;

    // A modal box with an OK button.
    virtual void MessageBox(std::string_view text, std::string_view caption = kProgramCaption) = 0;
    // A Yes/No question with a question icon; true only for Yes.
    virtual bool AskYesNo(std::string_view text) = 0;
    // "Multihomed Host - Please select Clients Host Address".
    virtual MultihomedAnswer ChooseLocalAddress(const std::vector<std::string>& addresses,
                                                bool showAgain) = 0;
    // "Listening Address": the typed text, or nullopt for Cancel.
    virtual std::optional<std::string> AskLocalAddress() = 0;
};

// The texts of the dialogs, shared by every implementation.
inline constexpr std::string_view kMultihomedTitle =
    "Multihomed Host - Please select Clients Host Address";
inline constexpr std::string_view kShowAgainLabel = "Show this dialog again";
inline constexpr std::string_view kListeningAddressTitle = "Listening Address";
inline constexpr std::string_view kListeningAddressText1 =
    "Because either your local host name or I.P. address could not be determined automatically "
    "you now have the chance to enter the I.P. manually.\nThe I.P Address should be entered in "
    "dotted decimal format, i.e. 192.168.0.20";
inline constexpr std::string_view kListeningAddressText2 =
    "It should be noted that specifying an unusable address will prevent the client from "
    "operating, you must specify an address that your system recognises, simply entering any "
    "number that comes to mind does not usually work !";
inline constexpr std::string_view kListeningAddressLabel = "Server I.P. Address";
inline constexpr std::string_view kBlockSizeErrorTitle = "Transmission block size error";
inline constexpr std::string_view kBlockSizeErrorText =
    "Transmission blocks may be set to any value within the range of 64 to 65420 bytes, although "
    "settings above 12250 bytes may exceed the limit of your network and will cause the transfer "
    "to fail.\n\nFor this session the block size has defaulted to 512 bytes.";

}  // namespace client
