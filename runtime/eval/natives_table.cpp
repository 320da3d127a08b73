// The natives table and the loading of the native and action specs.
#include "runtime/eval/natives_table.h"

#include "runtime/datatypes/block_storage.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/word.h"
#include "runtime/datatypes/error_raise.h"
#include "runtime/eval/interpreter.h"
#include "runtime/eval/natives/natives.h"
#include "runtime/eval/stack.h"
#include "runtime/io/lexer.h"

namespace xol::natives_table {
namespace {
std::string_view library_source(std::string_view name);

struct Source {
  const char* name;
  const char* text;
};
constexpr Source kSources[] = {
#include "library_sources.inc"
};

struct Built {
  int32_t index;
  natives::Routine routine;
};
// The natives implemented so far, by index; every other slot raises not-done.
constexpr Built kBuilt[] = {
    {1, natives::if_},          {2, natives::unless},
    {3, natives::either},       {4, natives::any},
    {5, natives::all},          {6, natives::while_},
    {7, natives::until},        {8, natives::loop},
    {14, natives::func},        {16, natives::does},
    {20, natives::do_},         {25, natives::equal_q},
    {26, natives::not_equal_q}, {27, natives::strict_equal_q},
    {28, natives::lesser_q},    {29, natives::greater_q},
    {30, natives::lesser_or_equal_q}, {31, natives::greater_or_equal_q},
    {33, natives::not_},        {35, natives::reduce},
    {70, natives::try_},        {77, natives::break_},
    {78, natives::continue_},   {79, natives::exit},
    {80, natives::return_},     {81, natives::throw_},
    {82, natives::catch_},
    {23, natives::print},         {24, natives::prin},
    {32, natives::same_q},        {41, natives::union_},
    {42, natives::intersect},     {43, natives::unique},
    {44, natives::difference},    {45, natives::exclude},
    {46, natives::complement_q},  {49, natives::negative_q},
    {50, natives::positive_q},    {51, natives::max},
    {52, natives::min},           {53, natives::shift},
    {54, natives::to_hex},        {55, natives::sine},
    {56, natives::cosine},        {57, natives::tangent},
    {58, natives::arcsine},       {59, natives::arccosine},
    {60, natives::arctangent},    {61, natives::arctangent2},
    {62, natives::nan_q},         {63, natives::log_2},
    {64, natives::log_10},        {65, natives::log_e},
    {66, natives::exp},           {67, natives::square_root},
    {73, natives::as_pair},       {74, natives::as_point2d},
    {75, natives::as_point3d},    {76, natives::as_money},
    {97, natives::sign_q},        {100, natives::zero_q},
    {9, natives::repeat},         {10, natives::forever},
    {11, natives::foreach},       {12, natives::forall},
    {13, natives::remove_each},   {15, natives::function_},
    {17, natives::has},           {18, natives::switch_},
    {19, natives::case_},         {21, natives::get},
    {22, natives::set},           {34, natives::type_q},
    {36, natives::compose},       {38, natives::bind},
    {39, natives::in},            {68, natives::construct},
    {69, natives::value_q},       {83, natives::extend},
    {88, natives::unset_},        {92, natives::context_q},
    {98, natives::as},            {107, natives::apply},
    {87, natives::checksum},
    {85, natives::to_local_file}, {101, natives::size_q},
    {40, natives::parse},
    {103, natives::compress},     {104, natives::decompress},
    {37, natives::stats},         {47, natives::dehex},
    {48, natives::enhex},         {71, natives::uppercase},
    {72, natives::lowercase},     {84, natives::debase},
    {86, natives::wait},          {89, natives::new_line},
    {90, natives::new_line_q},    {91, natives::enbase},
    {93, natives::set_env},       {94, natives::get_env},
    {95, natives::list_env},      {96, natives::now},
    {99, natives::call},          {102, natives::browse},
    {105, natives::recycle},      {106, natives::transcode},
};

void not_built(bool, const int32_t*) { error::raise(error::CAT_INTERNAL, "not-done"); }

// Makes the value of `type` for each `word: [spec]` pair of the file; `index_of` gives the
// table index of the n-th pair's word.
template <class IndexOf>
void make_values(std::string_view file, TypeId type, IndexOf index_of) {
  const Cell body = load_library_body(file);
  int32_t ordinal = 0;
  for (uint32_t i = 0; i + 1 < block::length(&body); i += 2) {
    const Cell name = block::head(&body)[i];
    const Cell spec = block::head(&body)[i + 1];
    Cell definition;
    block::make_at(&definition, 2);
    block::append_cell(&definition, &spec);
    Cell index = integer::make(index_of(name, ++ordinal));
    block::append_cell(&definition, &index);
    Cell made;
    actions::get<ACT_MAKE>(type)(nullptr, &definition, type, &made);
    context::set_global(word::symbol_of(&name), &made);
  }
}

}  // namespace

Cell load_library_body(std::string_view name) {
  Cell loaded = lexer::load(library_source(name));
  if (block::length(&loaded) >= 2 && block::head(&loaded)->is(TYPE_WORD) &&
      block::head(&loaded)[1].is(TYPE_BLOCK))
    loaded.data1 += 2;
  return loaded;
}

namespace {
// The text of an embedded library file ("natives.xol"); empty when there is none.
std::string_view library_source(std::string_view name) {
  for (const Source& source : kSources)
    if (name == source.name) return source.text;
  return {};
}
}  // namespace

void register_natives() {
  for (int32_t k = 1; k <= kNativeCount; ++k) natives::set_native(k, not_built);
  for (const Built& built : kBuilt) natives::set_native(built.index, built.routine);
}

void load_specs() {
  for (int32_t type = 1; type <= datatype::highest_type(); ++type) {
    const Cell word = datatype::entry(type).word;
    if (!word.is(TYPE_WORD)) continue;
    const Cell value = datatype::make(type);
    context::set_global(word::symbol_of(&word), &value);
  }
  make_values("actions.xol", TYPE_ACTION, [](const Cell& name, int32_t) {
    const int32_t symbol = symbol::resolve(word::symbol_of(&name));
    for (int32_t k = 1; k <= kActionCount; ++k) {
      const char* spelling = actions::action_word(Action(k));
      if (spelling && symbol::resolve(symbol::make(spelling)) == symbol) return k;
    }
    return 0;
  });
  make_values("natives.xol", TYPE_NATIVE, [](const Cell&, int32_t ordinal) { return ordinal; });
  run_library("typesets.xol");
}

void run_library(std::string_view name) {
  const Cell body = load_library_body(name);
  interpreter::eval_block(&body, false);
  stack::pop(1);
}

}  // namespace xol::natives_table
