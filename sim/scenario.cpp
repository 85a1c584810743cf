#include "sim/scenario.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "sim/host_double.h"
#include "sim/transcript.h"

namespace {

// A word from the file as an error message quotes it: control bytes escaped, long words cut, so
// that a binary file yields a readable message.
std::string quoted(const std::string& word) {
  constexpr size_t MAX_SHOWN = 24;
  std::string result = "'";
  append_printable(&result, word.data(),
                   word.data() + (word.size() < MAX_SHOWN ? word.size() : MAX_SHOWN));
  if (word.size() > MAX_SHOWN) {
    result += "...";
  }
  return result + "'";
}

std::vector<std::string> split_words(const std::string& line) {
  std::vector<std::string> words;
  size_t at = 0;
  while (at < line.size()) {
    char c = line[at];
    if (c == '#') {
      break;
    }
    if (c == ' ' || c == '\t' || c == '\r') {
      ++at;
      continue;
    }
    size_t start = at;
    while (at < line.size() && line[at] != ' ' && line[at] != '\t' && line[at] != '\r' &&
           line[at] != '#') {
      ++at;
    }
    words.push_back(line.substr(start, at - start));
  }
  return words;
}

// Decimal, or hexadecimal after "0x"; nothing else, and nothing above `limit`.
bool parse_number(const std::string& word, unsigned long long limit, unsigned long long* value) {
  bool hex = word.size() > 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X');
  size_t start = hex ? 2 : 0;
  if (word.size() == start) {
    return false;
  }
  unsigned long long result = 0;
  for (size_t i = start; i < word.size(); ++i) {
    char c = word[i];
    unsigned digit;
    if (c >= '0' && c <= '9') {
      digit = static_cast<unsigned>(c - '0');
    } else if (hex && c >= 'a' && c <= 'f') {
      digit = static_cast<unsigned>(c - 'a' + 10);
    } else if (hex && c >= 'A' && c <= 'F') {
      digit = static_cast<unsigned>(c - 'A' + 10);
    } else {
      return false;
    }
    result = result * (hex ? 16 : 10) + digit;
    if (result > limit) {
      return false;
    }
  }
  *value = result;
  return true;
}

struct Parser {
  std::string name;
  int line;
  std::string* error;
  // The ports the machine will have at this point of the session: an unplug needs a port.
  unsigned inputs;
  unsigned outputs;
  long ticks;
};

bool fail(Parser& parser, const std::string& message) {
  *parser.error = parser.name + ":" + std::to_string(parser.line) + ": " + message;
  return false;
}

bool expect_at_most(Parser& parser, const std::vector<std::string>& words, size_t count) {
  if (words.size() > count) {
    return fail(parser, "unexpected " + quoted(words[count]) + " after '" + words[0] + "'");
  }
  return true;
}

bool parse_tick(Parser& parser, const std::vector<std::string>& words, ScenarioStep* step) {
  step->ticks = 1;
  if (words.size() > 1) {
    unsigned long long ticks;
    if (!parse_number(words[1], MAX_TICKS_PER_STEP, &ticks) || ticks == 0) {
      return fail(parser, "tick count " + quoted(words[1]) + " is not a number from 1 to " +
                              std::to_string(MAX_TICKS_PER_STEP));
    }
    step->ticks = static_cast<long>(ticks);
  }
  parser.ticks += step->ticks;
  if (parser.ticks > MAX_TICKS_PER_SCENARIO) {
    return fail(parser,
                "the scenario runs more than " + std::to_string(MAX_TICKS_PER_SCENARIO) + " ticks");
  }
  step->text = "tick " + std::to_string(step->ticks);
  return expect_at_most(parser, words, 2);
}

bool parse_load(Parser& parser, const std::vector<std::string>& words, ScenarioStep* step) {
  step->api_version = HOST_API_VERSION;
  step->text = "load";
  if (words.size() == 1) {
    return true;
  }
  if (words[1] == "version" && words.size() >= 3) {
    unsigned long long version;
    if (!parse_number(words[2], 0xFFFFFFFFull, &version)) {
      return fail(parser, "version " + quoted(words[2]) + " is not a 32-bit number");
    }
    step->api_version = static_cast<int32_t>(static_cast<uint32_t>(version));
    char text[32];
    std::snprintf(text, sizeof text, "load version 0x%X", static_cast<unsigned>(version));
    step->text = text;
    return expect_at_most(parser, words, 3);
  }
  if (words[1] == "missing" && words.size() >= 3) {
    if (host_import_bit(words[2].c_str()) == 0) {
      return fail(parser, quoted(words[2]) + " is not one of the six host functions");
    }
    step->missing_function = words[2];
    step->text = "load missing " + words[2];
    return expect_at_most(parser, words, 3);
  }
  return fail(parser, "expected 'load', 'load version V' or 'load missing NAME'");
}

bool parse_counts(Parser& parser, const std::vector<std::string>& words, ScenarioStep* step) {
  unsigned long long inputs;
  unsigned long long outputs;
  if (words.size() < 3 || !parse_number(words[1], MAX_PORTS, &inputs) ||
      !parse_number(words[2], MAX_PORTS, &outputs)) {
    return fail(parser,
                "expected 'counts IN OUT' with numbers from 0 to " + std::to_string(MAX_PORTS));
  }
  step->inputs = static_cast<unsigned>(inputs);
  step->outputs = static_cast<unsigned>(outputs);
  parser.inputs = step->inputs;
  parser.outputs = step->outputs;
  step->text = "counts " + std::to_string(inputs) + " " + std::to_string(outputs);
  return expect_at_most(parser, words, 3);
}

bool parse_class(Parser& parser, const std::vector<std::string>& words, size_t index,
                 ScenarioStep* step) {
  step->device_class = DEVICE_CLASS_AUDIO;
  if (words.size() > index && !device_class_from_name(words[index].c_str(), &step->device_class)) {
    return fail(parser, "unknown device class " + quoted(words[index]) +
                            " (audio, render, capture, midi-in, midi-out or other)");
  }
  return expect_at_most(parser, words, index + 1);
}

bool parse_plug(Parser& parser, const std::vector<std::string>& words, ScenarioStep* step) {
  bool plug = step->kind == STEP_PLUG;
  if (words.size() < 2 || (words[1] != "input" && words[1] != "output")) {
    return fail(parser, "expected '" + words[0] + " input' or '" + words[0] + " output'");
  }
  step->input_port = words[1] == "input";
  step->event_code = plug ? DBT_DEVICEARRIVAL : DBT_DEVICEREMOVECOMPLETE;
  step->header = NOTIFY_INTERFACE_HEADER;
  if (!parse_class(parser, words, 2, step)) {
    return false;
  }
  unsigned& ports = step->input_port ? parser.inputs : parser.outputs;
  if (!plug && ports == 0) {
    return fail(parser, "no " + words[1] + " port left to unplug");
  }
  if (plug && ports == MAX_PORTS) {
    return fail(parser, "more than " + std::to_string(MAX_PORTS) + " " + words[1] + " ports");
  }
  ports = plug ? ports + 1 : ports - 1;
  step->text = words[0] + " " + words[1] + " " + device_class_name(step->device_class);
  return true;
}

bool parse_notify(Parser& parser, const std::vector<std::string>& words, ScenarioStep* step) {
  if (words.size() >= 2 && (words[1] == "arrival" || words[1] == "removal")) {
    step->event_code = words[1] == "arrival" ? DBT_DEVICEARRIVAL : DBT_DEVICEREMOVECOMPLETE;
    if (words.size() > 2 && words[2] == "short") {
      step->header = NOTIFY_SHORT_HEADER;
      step->text = "notify " + words[1] + " short";
      return expect_at_most(parser, words, 3);
    }
    step->header = NOTIFY_INTERFACE_HEADER;
    if (!parse_class(parser, words, 2, step)) {
      return false;
    }
    step->text = "notify " + words[1] + " " + device_class_name(step->device_class);
    return true;
  }
  if (words.size() >= 3 && words[1] == "code") {
    unsigned long long code;
    if (!parse_number(words[2], 0xFFFFFFFFull, &code)) {
      return fail(parser, "event code " + quoted(words[2]) + " is not a 32-bit number");
    }
    step->event_code = static_cast<uint32_t>(code);
    step->header = NOTIFY_NO_HEADER;
    char text[32];
    std::snprintf(text, sizeof text, "notify code 0x%04X", static_cast<unsigned>(code));
    step->text = text;
    return expect_at_most(parser, words, 3);
  }
  return fail(parser, "expected 'notify arrival|removal [CLASS|short]' or 'notify code V'");
}

bool parse_step(Parser& parser, const std::vector<std::string>& words, ScenarioStep* step) {
  const std::string& verb = words[0];
  if (verb == "tick") {
    step->kind = STEP_TICK;
    return parse_tick(parser, words, step);
  }
  if (verb == "load") {
    step->kind = STEP_LOAD;
    return parse_load(parser, words, step);
  }
  if (verb == "unload") {
    step->kind = STEP_UNLOAD;
    step->text = "unload";
    return expect_at_most(parser, words, 1);
  }
  if (verb == "counts") {
    step->kind = STEP_COUNTS;
    return parse_counts(parser, words, step);
  }
  if (verb == "plug" || verb == "unplug") {
    step->kind = verb == "plug" ? STEP_PLUG : STEP_UNPLUG;
    return parse_plug(parser, words, step);
  }
  if (verb == "notify") {
    step->kind = STEP_NOTIFY;
    return parse_notify(parser, words, step);
  }
  return fail(parser, "unknown step " + quoted(verb) +
                          " (tick, load, unload, counts, plug, unplug or notify)");
}

}  // namespace

bool parse_scenario(const std::string& source, const std::string& name,
                    std::vector<ScenarioStep>* steps, std::string* error) {
  Parser parser{name, 0, error, 0, 0, 0};
  steps->clear();
  size_t start = 0;
  while (start < source.size()) {
    size_t end = source.find('\n', start);
    if (end == std::string::npos) {
      end = source.size();
    }
    ++parser.line;
    std::vector<std::string> words = split_words(source.substr(start, end - start));
    start = end + 1;
    if (words.empty()) {
      continue;
    }
    ScenarioStep step{};
    step.line = parser.line;
    if (!parse_step(parser, words, &step)) {
      return false;
    }
    steps->push_back(step);
  }
  // An empty file is almost always the wrong file: playing it would print nothing and pass.
  if (steps->empty()) {
    parser.line = parser.line > 0 ? parser.line : 1;
    return fail(parser, "the scenario holds no steps");
  }
  return true;
}

bool read_text_file(const std::string& path, std::string* text, std::string* error) {
  // Far beyond any scenario or transcript; a bigger file is not one.
  constexpr size_t MAX_FILE_SIZE = 1 << 20;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    *error = "cannot open " + path + ": " + std::strerror(errno);
    return false;
  }
  text->clear();
  char buffer[4096];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
    text->append(buffer, got);
    if (text->size() > MAX_FILE_SIZE) {
      std::fclose(file);
      *error = path + " is larger than " + std::to_string(MAX_FILE_SIZE) + " bytes";
      return false;
    }
  }
  bool failed = std::ferror(file) != 0;
  int reason = errno;
  std::fclose(file);
  if (failed) {
    *error = "cannot read " + path + ": " + std::strerror(reason);
    return false;
  }
  return true;
}
