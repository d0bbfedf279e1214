#include "ui/folder_prompt.h"

namespace lantern {

namespace {

// Keeps the prompt counted as open until the call returns, however it returns.
class OpenPrompt {
 public:
  OpenPrompt(std::atomic<std::int32_t>& depth, const PromptDepthChanged& changed)
      : depth_(depth), changed_(changed) {
    ++depth_;
    if (changed_) changed_();
  }
  ~OpenPrompt() {
    --depth_;
    if (changed_) changed_();
  }
  OpenPrompt(const OpenPrompt&) = delete;
  OpenPrompt& operator=(const OpenPrompt&) = delete;

 private:
  std::atomic<std::int32_t>& depth_;
  const PromptDepthChanged& changed_;
};

}  // namespace

ResultCode PromptForWorkingFolderRoot(bool silent, std::atomic<std::int32_t>& prompt_depth,
                                      std::wstring& root, const std::wstring& product, DiagnosticLog& log,
                                      const AskForFolder& ask, const PromptDepthChanged& depth_changed) {
  if (silent) {
    log.LogText(L"Not Prompting the user as silent installation\n");
    return rc::Fail;
  }
  std::optional<std::wstring> answer;
  {
    const OpenPrompt open(prompt_depth, depth_changed);
    answer = ask(product, root);
  }
  if (!answer) return rc::Fail;
  root = *answer;
  return rc::Ok;
}

}  // namespace lantern
