#include "polish/polish_prompt.h"

#include "config/config_rules.h"

namespace kesu {

std::optional<PolishLevel> parse_polish_level(std::string_view text) {
  const std::optional<std::string> normal = normalise_polish_level(text);
  if (!normal) return std::nullopt;
  if (*normal == "light") return PolishLevel::light;
  if (*normal == "medium") return PolishLevel::medium;
  if (*normal == "strong") return PolishLevel::strong;
  return PolishLevel::off;
}

namespace {

std::string_view level_text(PolishLevel level) {
  switch (level) {
    case PolishLevel::off:
      return "不要改动任何内容，原样输出。";
    case PolishLevel::light:
      return "只做最少改动：删掉「嗯、啊、那个、就是说」这类填充词与无意义重复，修正明显错别字，补上基本标点。语序和句子结构不要动。";
    case PolishLevel::medium:
      return "在轻度基础上：断句、合并口吃与重复、把明显的口误改顺、统一同一概念的叫法。不要重排句子顺序。";
    case PolishLevel::strong:
      return "在中度基础上：允许调整句子顺序、合并啰嗦表达、把口头列举整理得清楚。但信息必须一条不多、一条不少，不能把长句压成摘要。";
  }
  return "";
}

std::string trim_endpoint(std::string_view endpoint) {
  std::string e = trim(endpoint);
  while (!e.empty() && e.back() == '/') e.pop_back();
  return e;
}

bool ends_with(std::string_view s, std::string_view suffix) {
  return s.size() >= suffix.size() && s.substr(s.size() - suffix.size()) == suffix;
}

}  // namespace

std::string polish_system_prompt(PolishLevel level, std::string_view extra_prompt,
                                 std::string_view application) {
  std::string p =
      "你是语音输入法的文本润色器。用户说出的话已经被转写成文字，你的唯一任务是让它读起来像打字写出来的。\n"
      "\n"
      "必须遵守：\n"
      "1. 只调整表达，不改变意思。不增加原文没有的信息，不删掉原文有的信息，不回答内容里出现的问题。\n"
      "2. 不翻译、不换语言；原文是中文就输出中文，原文夹英文就保持夹英文。\n"
      "3. 保留专有名词、人名、产品名、数字、时间、金额、网址、代码片段的原样；不确定的写法不要猜。\n"
      "4. 保留说话人的语气与个性标记（比如自嘲、口头强调），不要改成公文体。\n"
      "5. 不要输出解释、标题、引号或 Markdown 标记，只输出润色后的正文本身。\n"
      "6. 如果原文已经通顺，原样输出，不要为了改而改。\n"
      "7. 如果原文只是很短的一句，也不要添加标点以外的内容。";
  p += "\n\n本次润色力度：";
  p += level_text(level);
  const std::string app = trim(application);
  p += "\n\n<CONTEXT_INFORMATION>\n- 输入方式：语音转写\n- 前台应用：";
  p += app.empty() ? "（未知）" : app;
  p += "\n</CONTEXT_INFORMATION>";
  const std::string extra = trim(extra_prompt);
  if (!extra.empty()) p += "\n\n【这一档的额外要求】\n" + extra;
  return p;
}

std::string rewrite_system_prompt() {
  return "你是文本编辑助手。用户给你一段选中的文字和一条指令，你按指令改写这段文字。\n"
         "\n"
         "必须遵守：\n"
         "1. 只输出改写后的文字本身，不要解释、不要标题、不要引号、不要 Markdown 代码块。\n"
         "2. 不要回答文字里出现的问题，也不要对文字内容发表评论。\n"
         "3. 保留原文的专有名词、人名、数字、时间、金额、网址、代码片段。\n"
         "4. 如果指令要求翻译，只翻译，不补充原文没有的信息。";
}

std::string chat_url(std::string_view endpoint) {
  const std::string e = trim_endpoint(endpoint);
  if (ends_with(e, "/chat/completions")) return e;
  if (ends_with(e, "/v1")) return e + "/chat/completions";
  return e + "/v1/chat/completions";
}

std::string models_url(std::string_view endpoint) {
  const std::string e = trim_endpoint(endpoint);
  if (ends_with(e, "/chat/completions")) {
    return e.substr(0, e.size() - std::string_view("/chat/completions").size()) + "/models";
  }
  if (ends_with(e, "/v1")) return e + "/models";
  return e + "/v1/models";
}

}  // namespace kesu
