#pragma once

#include <cstdio>
#include <functional>
#include <istream>

#include "client/client_dialogs.h"

namespace client {

// Dialogs without a window: messages go to stderr; questions are asked on the terminal when
// there is one (interactive) and otherwise get the default answer: No to the overwrite question,
// the first address in the multihomed dialog, Cancel for a typed address.
class ConsoleDialogs final : public ClientDialogs {
  public:
    ConsoleDialogs(std::FILE* out, std::istream& in, bool interactive);

    // Runs before anything is printed (console mode ends its progress bar line there).
    std::function<void()> beforeOutput;

    void MessageBox(std::string_view text, std::string_view caption = kProgramCaption) override;
    bool AskYesNo(std::string_view text) override;
    MultihomedAnswer ChooseLocalAddress(const std::vector<std::string>& addresses,
                                        bool showAgain) override;
    std::optional<std::string> AskLocalAddress() override;

  private:
    void print(std::string_view text);
    std::optional<std::string> readLine();

    std::FILE* out_;
    std::istream& in_;
    bool interactive_;
};

}  // namespace client
