// The argument stack and the call-frame stack: pushes, pops, the walks of the non-local exits,
// and the call-name queries that errors use.
#include "runtime/eval/stack.h"

#include "runtime/memory/collector.h"
#include "runtime/datatypes/block_storage.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/error.h"
#include "runtime/datatypes/evaluator_hooks.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/text_buffer.h"
#include "runtime/datatypes/word.h"
#include "runtime/datatypes/error_raise.h"
#include "runtime/memory/memory.h"
#include "runtime/memory/cycles.h"
#include "runtime/datatypes/runtime_words.h"

namespace xol::stack {

Cell* bottom = nullptr;
Cell* stack_end = nullptr;
Cell* arguments = nullptr;
Cell* top = nullptr;
Frame* cbottom = nullptr;
Frame* cstack_end = nullptr;
Frame* ctop = nullptr;
NodeId argument_node = kNoNode;
uint32_t pending = 0;
uintptr_t native_limit = 0;
int32_t frameless_depth = 0;

namespace {

// Native stack kept free below the limit, for the error machinery and the handlers.
constexpr uintptr_t kNativeReserve = uintptr_t(1) << 20;
// The native stack assumed below the caller of init on a thread the runtime did not start (the
// tests' main thread has 8 MiB).
constexpr uintptr_t kForeignThreadBudget = uintptr_t(5) << 20;

// The two stack blocks, kept as the first children of the root block.
NodeId frame_node = kNoNode;

void mark_frames() {
  for (const Frame* frame = cbottom; frame < ctop; ++frame) {
    // A context node is a block of its two cells, which mark the rest.
    if (frame->ctx) collector::mark_block(frame->ctx);
    if (frame->fctx) collector::mark_block(frame->fctx);
  }
}

bool named(const Frame* frame) {
  // A catch frame's symbol is the name of the throws it takes, not the name of a call.
  if (frame->type() == FRAME_CATCH) return false;
  int32_t symbol = frame->symbol();
  return symbol != word::symbol_of(&words::w.body) && symbol != word::symbol_of(&words::w.anon);
}

Cell name_word(const Frame* frame, NodeId context) {
  Cell name = word::unbound(frame->symbol());
  if (context) {
    name.data1 = context;
    name.data3 = uint32_t(context::find_word(context, frame->symbol(), true));
  }
  return name;
}

// The walks start one record below the frame of the native that asked (break, return ...).
Frame* below_caller() { return ctop - 1 > cbottom ? ctop - 2 : nullptr; }

// Makes `frame` current with its result slot holding `value`; nothing above it is kept.
void land(Frame* frame, const Cell& value, uint32_t code) {
  Cell* base = base_of(frame);
  ctop = frame + 1;
  arguments = base;
  *base = value;
  top = base + 1;
  pending = code;
}

}  // namespace

void make_blocks() {
  block::make_in_sized(block::root(), kArgumentCells);
  block::make_in_sized(block::root(), kFrameStorageCells);
}

void init() {
  const Cell* root = block::root();
  argument_node = block::abs_at(root, 0)->node();
  frame_node = block::abs_at(root, 1)->node();
  memory::SeriesBuffer* cells = memory::buffer_of(argument_node);
  bottom = arguments = top = cells->cells();
  stack_end = bottom + kArgumentCells;
  cbottom = ctop = reinterpret_cast<Frame*>(memory::buffer_of(frame_node)->cells());
  cstack_end = cbottom + kFrameRecords;
  pending = 0;
  frameless_depth = 0;
  const uintptr_t here = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
  native_limit = rt::state.stack_low && here > rt::state.stack_low
                     ? rt::state.stack_low + kNativeReserve
                     : here - kForeignThreadBudget;
  collector::register_root_cells(&bottom, &top, collector::RANK_ARGUMENT_STACK);
  collector::register_mark(mark_frames, collector::RANK_CALL_FRAMES);
}

void release() {
  collector::unregister_root(&bottom);
  collector::unregister_mark(mark_frames);
  bottom = arguments = top = stack_end = nullptr;
  cbottom = ctop = cstack_end = nullptr;
  argument_node = frame_node = kNoNode;
  pending = 0;
}

void overflow() {
  top = top - bottom < kOverflowHeadroom ? bottom : top - kOverflowHeadroom;
  cycles::reset();
  error::raise(error::CAT_INTERNAL, "stack-overflow");
}

void bad_frame_push() {
  cycles::reset();
  error::raise(error::CAT_INTERNAL, "stack-overflow");
}

Cell* mark_func(const Cell* name, NodeId fctx) {
  uint32_t saved = 0;
  if (fctx) {
    const Cell* header = context::context_cell(fctx);
    if (header->data2) saved = header->data3 + 1;
  }
  return mark(name, FRAME_FUNCTION, fctx, saved);
}

void restore_values(const Frame* frame) {
  if (!frame->fctx || frame->type() != FRAME_FUNCTION) return;
  if (frame->saved) context::enter_frame(frame->fctx, argument_node, frame->saved - 1);
  else context::leave_frame(frame->fctx);
}

void restore(const Mark& mark) {
  while (ctop > mark.ctop) restore_values(--ctop);
  ctop = mark.ctop;
  arguments = mark.arguments;
  top = mark.top;
}

void throw_break(bool with_value, bool is_continue) {
  const Cell value = with_value && !is_continue ? *arguments : unset::value;
  const char* id = is_continue ? "continue" : "break";
  Frame* frame = below_caller();
  for (; frame && frame >= cbottom; --frame) {
    if (frame->type() == FRAME_TRY_ALL) error::raise(error::CAT_THROW, id);
    if (frame->type() == FRAME_LOOP) break;
  }
  if (!frame || frame < cbottom) error::raise(error::CAT_THROW, id);
  for (Frame* popped = ctop - 1; popped > frame; --popped) restore_values(popped);
  land(frame, value, is_continue ? rt::THROWN_CONTINUE : rt::THROWN_BREAK);
}

void throw_return(bool with_value) {
  const Cell value = with_value ? *arguments : unset::value;
  Frame* frame = below_caller();
  for (; frame && frame >= cbottom; --frame) {
    if (frame->type() == FRAME_TRY_ALL) error::raise(error::CAT_THROW, "return");
    if (frame->body()) break;
  }
  if (!frame || frame < cbottom) error::raise(error::CAT_THROW, "return");
  for (Frame* popped = ctop - 1; popped > frame; --popped) restore_values(popped);
  land(frame, value, with_value ? rt::THROWN_RETURN : rt::THROWN_EXIT);
}

namespace {

// A catch named by one word carries that word as its frame's name and takes only throws of
// that name (caselessly); any other catch takes every throw and sorts them out itself.
bool catches(const Frame* frame, const Cell& name) {
  const int32_t wanted = frame->symbol();
  if (wanted == word::symbol_of(&words::w.body)) return true;
  return word::any_word_type(name.type()) &&
         symbol::resolve(wanted) == symbol::resolve(word::symbol_of(&name));
}

}  // namespace

void throw_throw() {
  const Cell value = arguments[0];
  const Cell name = arguments[1];
  Frame* frame = below_caller();
  for (; frame && frame >= cbottom; --frame) {
    if (frame->type() == FRAME_TRY_ALL) error::raise(error::CAT_THROW, "throw", &value);
    if (frame->type() == FRAME_CATCH && catches(frame, name)) break;
  }
  if (!frame || frame < cbottom) error::raise(error::CAT_THROW, "throw", &value);
  for (Frame* popped = ctop - 1; popped > frame; --popped) restore_values(popped);
  land(frame, value, 0);
  *top++ = name;
  throw rt::Thrown{rt::THROWN_THROW};
}

void throw_error(const Cell* error) {
  error::Raised raised{};
  raised.code = rt::THROWN_ERROR;
  raised.category = error::CAT_USER;
  raised.id = "";
  raised.error = *error;
  // A made error has no place yet: it gets the call and code it is raised from, as a raised
  // one does.
  if (evaluator_hooks::installed().annotate_error)
    evaluator_hooks::installed().annotate_error(&raised.error);
  throw raised;
}

Cell get_call() {
  for (const Frame* frame = ctop - 1; frame >= cbottom; --frame)
    if (named(frame)) return name_word(frame, frame->ctx);
  return words::w.not_found;
}

void collect_frame_words(int32_t level, Cell* block, int32_t end) {
  const Frame* last = cbottom + end;
  for (const Frame* frame = cbottom; frame < last && frame < cstack_end; ++frame) {
    if (!named(frame)) continue;
    Cell name = name_word(frame, frame->ctx ? frame->ctx : context::global());
    bool show = level > 1;
    if (!show && name.data3 != word::kUnresolvedIndex) {
      const Cell* value = context::values(word::context_of(&name));
      show = value && value[word::index_of(&name)].type() == TYPE_FUNCTION;
    }
    if (show) block::append_cell(block, &name);
  }
}

int32_t form_trace(int32_t level, int32_t frame, Cell* buffer, int32_t part) {
  Cell names;
  block::make_at(&names, 8);
  collect_frame_words(level, &names, frame);
  for (const Cell* name = block::head(&names); name < block::tail(&names) && part > 0; ++name) {
    part = text::append_counted(buffer, symbol::name(word::symbol_of(name)), part);
    part = text::append_counted(buffer, " ", part);
  }
  return part;
}

}  // namespace xol::stack
