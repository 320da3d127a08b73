// money!: the packed-decimal cell, the currency list, conversions, the money arithmetic core,
// comparison, rounding, the printed form and the money! actions.
#include "runtime/datatypes/money.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "runtime/datatypes/block_storage.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/object.h"
#include "runtime/datatypes/string_storage.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/text_buffer.h"
#include "runtime/datatypes/word.h"
#include "runtime/datatypes/error_raise.h"
#include "runtime/process/random.h"
#include "runtime/io/number_converters.h"
#include "runtime/text/number_text.h"

namespace xol::money {
namespace {
int32_t add_currency(std::string_view code);
bool common_currency(const Cell* value1, const Cell* value2, bool strict);
void to(const Cell* prototype, const Cell* spec, TypeId type, Cell* result);

// Byte offsets in the cell.
constexpr int kCurrencyByte = 4;
constexpr int kAmountByte = 5;
constexpr int kAmountBytes = 11;
// Digit 17, the units, ends the integer part.
constexpr int kUnitsDigit = kIntegerDigits;
// Products are refused when the factors' significant digits add up to more than this: their
// product then has at least 27 digits, 22 once the five extra fraction digits are cut.
constexpr int kProductDigitLimit = 28;
constexpr int kCodeLength = 3;

constexpr Magnitude pow10(int n) {
  Magnitude value = 1;
  while (n-- > 0) value *= 10;
  return value;
}
constexpr Magnitude kUnit = pow10(kFractionDigits);   // $1 in hundred-thousandths
constexpr Magnitude kLimit = pow10(kDigits);          // the first magnitude with 23 digits
constexpr int32_t kLargestFraction = 99999;
// Room for a sign, a currency code, "$", 17 digits with separators, "." and 5 digits.
constexpr int kTextSize = 48;

// The currency list: its first 170 codes are part of the stored format (a money! keeps the
// position), more may be appended.
constexpr const char* kInitialCurrencies[] = {
    "AED", "AFN", "ALL", "AMD", "ANG", "AOA", "ARS", "AUD", "AWG", "AZN", "BAM", "BBD", "BDT",
    "BTC", "BGN", "BHD", "BIF", "BMD", "BND", "BOB", "BRL", "BSD", "BTN", "BWP", "BYN", "BZD",
    "CAD", "CDF", "CHF", "CKD", "CLP", "CNY", "COP", "CRC", "CUC", "CUP", "CVE", "CZK", "DJF",
    "DKK", "DOP", "DZD", "EGP", "ERN", "ETB", "ETH", "EUR", "FJD", "FKP", "FOK", "GBP", "GEL",
    "GGP", "GHS", "GIP", "GMD", "GNF", "GTQ", "GYD", "HKD", "HNL", "HRK", "HTG", "HUF", "IDR",
    "ILS", "IMP", "INR", "IQD", "IRR", "ISK", "JEP", "JMD", "JOD", "JPY", "KES", "KGS", "KHR",
    "KID", "KMF", "KPW", "KRW", "KWD", "KYD", "KZT", "LAK", "LBP", "LKR", "LRD", "LSL", "LYD",
    "MAD", "MDL", "MGA", "MKD", "MMK", "MNT", "MOP", "MRU", "MUR", "MVR", "MWK", "MXN", "MYR",
    "MZN", "NAD", "NGN", "NIO", "NOK", "NPR", "NZD", "OMR", "PAB", "PEN", "PGK", "PHP", "PKR",
    "PLN", "PND", "PRB", "PYG", "QAR", "XOL", "RON", "RSD", "RUB", "RWF", "SAR", "SBD", "SCR",
    "SDG", "SEK", "SGD", "SHP", "SLL", "SLS", "SOS", "SRD", "SSP", "STN", "SYP", "SZL", "THB",
    "TJS", "TMT", "TND", "TOP", "TRY", "TTD", "TVD", "TWD", "TZS", "UAH", "UGX", "USD", "UYU",
    "UZS", "VES", "VND", "VUV", "WST", "CFA", "XAF", "XCD", "XOF", "CFP", "XPF", "YER", "ZAR",
    "ZMW",
};
constexpr int32_t kInitialCurrencyCount =
    int32_t(sizeof kInitialCurrencies / sizeof kInitialCurrencies[0]);
static_assert(kInitialCurrencyCount == 170);

struct CurrencyCode {
  char letters[kCodeLength + 1];
};
CurrencyCode currencies[kMaxCurrencies + 1];   // indexed from 1
int32_t currency_total = 0;

char upper(char c) { return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c; }

void ensure_currencies() {
  if (currency_total) return;
  for (const char* code : kInitialCurrencies) add_currency(code);
}

const uint8_t* bytes_of(const Cell* value) { return reinterpret_cast<const uint8_t*>(value); }

// The value with its sign, in hundred-thousandths.
__int128 signed_amount(const Cell* value) {
  __int128 amount = __int128(magnitude(value));
  return sign_bit(value) ? -amount : amount;
}

Cell from_signed(__int128 amount, int32_t currency) {
  return make(amount < 0, currency, Magnitude(amount < 0 ? -amount : amount));
}

int count_digits(Magnitude amount) {
  int digits = 1;
  while (amount >= 10) {
    amount /= 10;
    ++digits;
  }
  return digits;
}

[[noreturn]] void raise_wrong_denom(const Cell* value1, const Cell* value2) {
  error::raise(error::CAT_SCRIPT, "wrong-denom", value1, value2);
}

// An operand of the money core as a money!.
Cell as_money(const Cell* operand, bool strict) {
  switch (operand->type()) {
    case TYPE_MONEY: return *operand;
    case TYPE_INTEGER: return from_integer(integer::get(operand));
    case TYPE_FLOAT:
    case TYPE_PERCENT: return from_float(floating::get(operand), strict);
    default: number::raise_invalid_type(operand);
  }
}

// Orders two amounts by sign, then by magnitude.
int32_t compare_amounts(const Cell* value1, const Cell* value2) {
  return number::three_way(signed_amount(value1), signed_amount(value2));
}

int32_t compare_moneys(const Cell* value1, const Cell* value2, int32_t op) {
  int32_t index1 = currency_index(value1), index2 = currency_index(value2);
  switch (op) {
    case COMP_STRICT_EQUAL:
    case COMP_SAME:
      if (index1 != index2) return 1;
      break;
    case COMP_SELECT:
      if (index2 && index1 != index2) return 1;
      break;
    case COMP_SORT:
    case COMP_CASE_SORT:
      if (index1 != index2)
        return number::three_way(index1 ? currency_code(index1) : std::string_view(),
                                 index2 ? currency_code(index2) : std::string_view());
      break;
    default:
      if (!common_currency(value1, value2, false)) {
        if (number::is_ordering_op(op)) raise_wrong_denom(value1, value2);
        return 1;
      }
  }
  return compare_amounts(value1, value2);
}

// The magnitude of a `round` scale, in hundred-thousandths.
Magnitude round_step(const Cell* scale) {
  if (!scale) return kUnit;
  switch (scale->type()) {
    case TYPE_MONEY:
    case TYPE_INTEGER:
    case TYPE_FLOAT: {
      Cell amount = as_money(scale, true);
      return magnitude(&amount);
    }
    default:
      number::raise_not_related(ACT_ROUND, scale->type());
  }
}

Cell from_block(const Cell* block) {
  const Cell* items = block::head(block);
  uint32_t count = block::length(block), at = 0;
  int32_t currency = 0;
  if (at < count && word::any_word_type(items[at].type())) {
    currency = currency_lookup(symbol::name(word::symbol_of(&items[at])));
    if (currency < 0) number::raise_bad_make_arg(TYPE_MONEY, block);
    ++at;
  }
  if (at >= count || !(items[at].is(TYPE_INTEGER) || items[at].is(TYPE_FLOAT)))
    number::raise_bad_make_arg(TYPE_MONEY, block);
  Cell amount = as_money(&items[at++], true);
  Magnitude total = magnitude(&amount);
  if (at < count) {
    const Cell* fraction = &items[at++];
    if (!fraction->is(TYPE_INTEGER) || integer::get(fraction) < 0 ||
        integer::get(fraction) > kLargestFraction)
      number::raise_bad_make_arg(TYPE_MONEY, block);
    total += Magnitude(integer::get(fraction));
  }
  if (at != count) number::raise_bad_make_arg(TYPE_MONEY, block);
  return make(sign_bit(&amount), currency, total);
}

enum PathField : int32_t { FIELD_CODE = 1, FIELD_AMOUNT };
constexpr const char* kFieldWords[] = {"code", "amount"};
constexpr int32_t kFieldCount = 2;

int32_t field_index(const Cell* element) {
  return element->is(TYPE_INTEGER) ? integer::get(element)
                                   : number::word_index(element, kFieldWords, kFieldCount);
}

Cell get_field(const Cell* value, int32_t field) {
  if (field == FIELD_AMOUNT) {
    Cell amount = *value;
    set_currency(&amount, 0);
    return amount;
  }
  int32_t index = currency_index(value);
  return index ? word::load(currency_code(index)) : Cell{TYPE_NONE, 0, 0, 0};
}

}  // namespace

// ---- the cell ----

bool sign_bit(const Cell* value) { return value->header & kSignFlag; }

int32_t sign(const Cell* value) {
  if (magnitude(value) == 0) return 0;
  return sign_bit(value) ? -1 : 1;
}

int32_t currency_index(const Cell* value) { return bytes_of(value)[kCurrencyByte]; }

void set_currency(Cell* value, int32_t index) {
  reinterpret_cast<uint8_t*>(value)[kCurrencyByte] = uint8_t(index);
}

Magnitude magnitude(const Cell* value) {
  const uint8_t* digits = bytes_of(value) + kAmountByte;
  Magnitude amount = 0;
  for (int i = 0; i < kAmountBytes; ++i) amount = amount * 100 + (digits[i] >> 4) * 10 +
                                                  (digits[i] & 0xF);
  return amount;
}

int32_t get_digit(const Cell* value, int32_t number) {
  uint8_t pair = bytes_of(value)[kAmountByte + (number - 1) / 2];
  return number % 2 ? pair >> 4 : pair & 0xF;
}

Cell make(bool negative, int32_t currency, Magnitude amount) {
  if (amount >= kLimit) number::raise_type_limit(TYPE_MONEY);
  Cell value{TYPE_MONEY | (negative && amount ? kSignFlag : 0), 0, 0, 0};
  uint8_t* bytes = reinterpret_cast<uint8_t*>(&value);
  bytes[kCurrencyByte] = uint8_t(currency);
  for (int i = kAmountBytes - 1; i >= 0; --i) {
    int low = int(amount % 10);
    amount /= 10;
    int high = int(amount % 10);
    amount /= 10;
    bytes[kAmountByte + i] = uint8_t(high << 4 | low);
  }
  return value;
}

// ---- the currency list ----

namespace {

// Codes that scripts appended to system/locale/currencies/list since the last look (its hooks
// let only new three-letter codes in, at the end). Called only when a code is not found.
void follow_system_list() {
  const Cell* list = object::system_field({"locale", "currencies", "list"});
  if (!list || !list->is(TYPE_BLOCK)) return;
  const uint32_t length = block::length(list);
  for (uint32_t i = uint32_t(currency_total); i < length; ++i) {
    const Cell* code = block::head(list) + i;
    if (!word::any_word_type(code->type())) return;
    if (add_currency(symbol::name(word::symbol_of(code))) < 0) return;
  }
}

int32_t find_currency(std::string_view code) {
  for (int32_t index = 1; index <= currency_total; ++index) {
    const char* letters = currencies[index].letters;
    if (upper(code[0]) == letters[0] && upper(code[1]) == letters[1] &&
        upper(code[2]) == letters[2])
      return index;
  }
  return -1;
}

int32_t printed_digits() {
  const Cell* option = object::system_field({"options", "money-digits"});
  return option && option->is(TYPE_INTEGER) ? integer::get(option) : digits_option;
}
}  // namespace

int32_t currency_lookup(std::string_view code) {
  ensure_currencies();
  if (code.size() != kCodeLength) return -1;
  const int32_t found = find_currency(code);
  if (found >= 0) return found;
  follow_system_list();
  return find_currency(code);
}

std::string_view currency_code(int32_t index) {
  ensure_currencies();
  return currencies[index].letters;
}

int32_t currency_count() {
  ensure_currencies();
  return currency_total;
}

namespace {
// Appends a code to the list; answers its index, or -1 when the list is full.
int32_t add_currency(std::string_view code) {
  if (currency_total == kMaxCurrencies || code.size() != kCodeLength) return -1;
  CurrencyCode& entry = currencies[++currency_total];
  for (int i = 0; i < kCodeLength; ++i) entry.letters[i] = upper(code[i]);
  entry.letters[kCodeLength] = '\0';
  return currency_total;
}

// True when two values' currencies may be mixed: equal indexes, or (unless `strict`) either
// without currency.
bool common_currency(const Cell* value1, const Cell* value2, bool strict) {
  int32_t index1 = currency_index(value1), index2 = currency_index(value2);
  return index1 == index2 || (!strict && (index1 == 0 || index2 == 0));
}
}  // namespace

// ---- conversions ----

Cell from_integer(int32_t value) {
  Magnitude whole = value < 0 ? Magnitude(0u - uint32_t(value)) : Magnitude(uint32_t(value));
  return make(value < 0, 0, whole * kUnit);
}

Cell from_float(double value, bool strict) {
  constexpr double kSmallest = 1e-05, kBeyond = 1e17;
  double size = std::fabs(value);
  if (!std::isfinite(value) || size >= kBeyond || (size != 0 && size < kSmallest)) {
    Cell given = floating::make(value);
    number::raise_bad_make_arg(TYPE_MONEY, &given);
  }
  // Within these bounds the shortest text is plain notation: digits, ".", digits.
  const char* text = dtoa::to_text(value, kDigits, true);
  bool negative = *text == '-';
  if (negative) ++text;
  const char* point = std::strchr(text, '.');
  std::string_view fraction(point + 1);
  if (strict && fraction.size() > size_t(kFractionDigits)) {
    Cell given = floating::make(value);
    number::raise_bad_make_arg(TYPE_MONEY, &given);
  }
  Magnitude amount = 0;
  for (const char* at = text; at < point; ++at) amount = amount * 10 + (*at - '0');
  for (int i = 0; i < kFractionDigits; ++i)
    amount = amount * 10 + (i < int(fraction.size()) ? fraction[i] - '0' : 0);
  return make(negative, 0, amount);
}

bool make_from_digits(bool negative, std::string_view currency, std::string_view integer_digits,
                      std::string_view fraction_digits, Cell* result) {
  int32_t index = 0;
  if (!currency.empty()) {
    index = currency_lookup(currency);
    if (index < 0) return false;
  }
  Magnitude whole = 0;
  int significant = 0;
  for (char c : integer_digits) {
    if (c == '\'') continue;
    whole = whole * 10 + (c - '0');
    if (whole && ++significant > kIntegerDigits) return false;
  }
  if (fraction_digits.size() > size_t(kFractionDigits)) return false;
  Magnitude amount = whole;
  for (int i = 0; i < kFractionDigits; ++i)
    amount = amount * 10 + (i < int(fraction_digits.size()) ? fraction_digits[i] - '0' : 0);
  *result = make(negative, index, amount);
  return true;
}

int32_t to_integer(const Cell* value) {
  Magnitude whole = magnitude(value) / kUnit;
  bool negative = sign(value) < 0;
  constexpr Magnitude kLargest = 2147483647;
  if (whole > kLargest + (negative ? 1 : 0)) number::raise_type_limit(TYPE_INTEGER);
  return negative ? int32_t(0u - uint32_t(whole)) : int32_t(whole);
}

double to_float(const Cell* value) {
  Magnitude amount = magnitude(value);
  if (amount == 0) return 0.0;
  // The decimal digits of the amount, read with the point five places from the end.
  char digits[kDigits + 1];
  char* end = digits + kDigits;
  char* at = end;
  for (; amount; amount /= 10) *--at = char('0' + int(amount % 10));
  int left_over;
  double result = dtoa::from_text(at, end, -kFractionDigits, &left_over);
  return sign_bit(value) ? -result : result;
}

// ---- arithmetic ----

void do_math(MathOp op, const Cell* left, const Cell* right, Cell* result) {
  bool left_money = left->is(TYPE_MONEY), right_money = right->is(TYPE_MONEY);
  if (op == OP_MULTIPLY && left_money && right_money) number::raise_invalid_type(left);
  if ((op == OP_DIVIDE || op == OP_REMAINDER) && !left_money) number::raise_invalid_type(left);
  if (op > OP_REMAINDER) number::raise_cannot_use(number::action_of(op), TYPE_MONEY);
  Cell a = as_money(left, false), b = as_money(right, false);
  if (!common_currency(&a, &b, false)) raise_wrong_denom(left, right);
  int32_t currency = currency_index(&a) ? currency_index(&a) : currency_index(&b);

  __int128 x = signed_amount(&a), y = signed_amount(&b);
  Magnitude mx = magnitude(&a), my = magnitude(&b);
  bool opposite = (x < 0) != (y < 0);
  switch (op) {
    case OP_ADD:
      *result = from_signed(x + y, currency);
      return;
    case OP_SUBTRACT:
      *result = from_signed(x - y, currency);
      return;
    case OP_MULTIPLY:
      if (mx && my && count_digits(mx) + count_digits(my) > kProductDigitLimit)
        number::raise_type_limit(TYPE_MONEY);
      *result = make(opposite, currency, mx * my / kUnit);
      return;
    case OP_DIVIDE: {
      if (my == 0) number::raise_zero_divide();
      Cell quotient = make(opposite, currency, mx * kUnit / my);
      if (right_money)
        floating::make_at(result, to_float(&quotient));
      else
        *result = quotient;
      return;
    }
    default:
      if (my == 0) number::raise_zero_divide();
      *result = make(x < 0, currency, mx % my);
      return;
  }
}

// ---- printed form ----

namespace {
// Appends the printed form: `all_digits` prints the five fraction digits, `separators` puts
// "'" between groups of three integer digits. Answers the part limit less what was appended.
int32_t form_amount(const Cell* value, Cell* buffer, int32_t part, bool all_digits,
                    bool separators) {
  char text[kTextSize];
  char* at = text;
  if (sign(value) < 0) *at++ = '-';
  if (int32_t index = currency_index(value)) {
    std::string_view code = currency_code(index);
    at = std::copy(code.begin(), code.end(), at);
  }
  *at++ = '$';
  Magnitude whole = magnitude(value) / kUnit;
  if (whole == 0) {
    *at++ = '0';
  } else {
    int digits = count_digits(whole);
    for (int number = kUnitsDigit - digits + 1; number <= kUnitsDigit; ++number) {
      *at++ = char('0' + get_digit(value, number));
      // A separator before each group of three digits counted from the units.
      if (separators && number != kUnitsDigit && (kUnitsDigit - number) % 3 == 0) *at++ = '\'';
    }
  }
  const int32_t digits = printed_digits();
  int32_t fraction = all_digits || digits > kFractionDigits ? kFractionDigits : digits;
  if (fraction >= 1) {
    *at++ = '.';
    for (int number = kUnitsDigit + 1; number <= kUnitsDigit + fraction; ++number)
      *at++ = char('0' + get_digit(value, number));
  }
  return text::append_counted(buffer, std::string_view(text, size_t(at - text)), part);
}
}  // namespace

// ---- actions ----

void make(const Cell* prototype, const Cell* spec, TypeId type, Cell* result) {
  if (word::any_word_type(spec->type())) {
    int32_t index = currency_lookup(symbol::name(word::symbol_of(spec)));
    if (index < 0) number::raise_bad_make_arg(TYPE_MONEY, spec);
    *result = make(false, index, 0);
    return;
  }
  if (spec->is(TYPE_BLOCK)) {
    *result = from_block(spec);
    return;
  }
  to(prototype, spec, type, result);
}

namespace {
void to(const Cell*, const Cell* spec, TypeId, Cell* result) {
  switch (spec->type()) {
    case TYPE_MONEY:
      copy_cell(spec, result);
      return;
    case TYPE_INTEGER:
    case TYPE_FLOAT:
      *result = as_money(spec, true);
      return;
    default: {
      if (!string::is_text_type(spec->type())) number::raise_bad_to_arg(TYPE_MONEY, spec);
      int32_t error;
      Cell made = string::to_money(spec, &error);
      if (error) number::raise_bad_to_arg(TYPE_MONEY, spec);
      *result = made;
    }
  }
}

int32_t form(const Cell* value, Cell* buffer, const Cell*, int32_t part) {
  return form_amount(value, buffer, part, false, true);
}

int32_t mold(const Cell* value, Cell* buffer, bool, bool all, bool, const Cell*, int32_t part,
             int32_t) {
  return form_amount(value, buffer, part, all, false);
}

void eval_path(const PathStep& step, Cell* result) {
  int32_t field = field_index(step.element);
  if (field != FIELD_CODE && field != FIELD_AMOUNT) number::raise_invalid_path(step);
  if (step.value) error::raise(error::CAT_SCRIPT, "bad-path-set", step.path, step.element);
  *result = get_field(step.parent, field);
}

void pick(Cell* value, int32_t, const Cell* index_cell, Cell* result) {
  int32_t field = field_index(index_cell);
  if (field != FIELD_CODE && field != FIELD_AMOUNT) number::raise_out_of_range(index_cell);
  *result = get_field(value, field);
}
}  // namespace

int32_t compare(const Cell* value1, const Cell* value2, int32_t op) {
  if (number::is_strict_op(op) && !value2->is(TYPE_MONEY)) return 1;
  switch (value2->type()) {
    case TYPE_MONEY:
      return compare_moneys(value1, value2, op);
    case TYPE_INTEGER: {
      Cell amount = from_integer(integer::get(value2));
      return compare_amounts(value1, &amount);
    }
    case TYPE_FLOAT:
    case TYPE_PERCENT:
    case TYPE_TIME:
      // The double family compares with money!, so money! answers them the same way round.
      return number::swapped_answer(floating::compare_with_money(
          floating::get(value2), value1, number::swapped_op(op)));
    default:
      return kNotComparable;
  }
}

void absolute(Cell* value, Cell* result) {
  *result = make(false, currency_index(value), magnitude(value));
}

void negate(Cell* value, Cell* result) {
  *result = make(!sign_bit(value), currency_index(value), magnitude(value));
}

namespace {
void round(Cell* value, const RoundOptions& o, Cell* result) {
  Magnitude v = magnitude(value), step = round_step(o.to);
  if (v == 0 || step == 0 || v % step == 0) {
    copy_cell(value, result);
    return;
  }
  bool negative = sign_bit(value);
  Magnitude r = v % step, rest = step - r;
  Magnitude down = v - r, up = v + rest;
  bool tie = r == rest;
  bool to_up;
  if (o.down)
    to_up = false;
  else if (o.floor)
    to_up = negative;
  else if (o.ceiling)
    to_up = !negative;
  else if (!tie)
    to_up = r > rest;
  else if (o.even)
    to_up = (down / step) % 2 != 0;
  else if (o.half_down)
    to_up = false;
  else if (o.half_ceiling)
    to_up = !negative;
  else
    to_up = true;
  *result = make(negative, currency_index(value), to_up ? up : down);
}
}  // namespace

bool odd(const Cell* value) { return get_digit(value, kUnitsDigit) % 2 != 0; }
bool even(const Cell* value) { return !odd(value); }

namespace {
// random: /seed seeds the generator with the XOR of the three payload words and the sign.
// Otherwise the amount is drawn again, keeping sign and currency, digit by digit from its most
// significant one. While the digits so far equal the amount's, a digit is drawn from 0 to the
// amount's digit, and the amount's digit itself stands only when two further draws agree
// (modulo 1000), so that the draw rarely reaches the amount; after the first smaller digit,
// every digit is free.
void random(Cell* value, bool seed, bool, bool, Cell* result) {
  if (seed) {
    xol::random::seed(value->data1 ^ value->data2 ^ value->data3 ^ (sign_bit(value) ? 1u : 0u));
    cell::set_unset(result);
    return;
  }
  constexpr int32_t kRadix = 10;
  constexpr int32_t kAgreement = 1000;
  Magnitude drawn = 0;
  bool below = false;
  for (int digit = kDigits - count_digits(magnitude(value)) + 1; digit <= kDigits; ++digit) {
    int32_t limit = get_digit(value, digit);
    int32_t g;
    for (;;) {
      g = xol::random::next() % (below ? kRadix : limit + 1);
      if (below || g < limit) break;
      int32_t first = xol::random::next();
      int32_t second = xol::random::next();
      if (first % kAgreement == second % kAgreement) break;
    }
    below = below || g < limit;
    drawn = drawn * kRadix + Magnitude(g);
  }
  *result = make(sign_bit(value), currency_index(value), drawn);
}
}  // namespace

void init() {
  using actions::own;
  ensure_currencies();
  actions::ActionList list;
  list.own(own<ACT_MAKE>(make))
      .own(own<ACT_RANDOM>(random))
      .own(own<ACT_TO>(to))
      .own(own<ACT_FORM>(form))
      .own(own<ACT_MOLD>(mold))
      .own(own<ACT_EVAL_PATH>(eval_path))
      .own(own<ACT_COMPARE>(compare))
      .own(own<ACT_ABSOLUTE>(absolute))
      .own(own<ACT_NEGATE>(negate))
      .own(own<ACT_ROUND>(round))
      .own(own<ACT_EVEN>(even))
      .own(own<ACT_ODD>(odd))
      .own(own<ACT_PICK>(pick));
  number::own_arithmetic<do_math>(list);
  datatype::register_type(TYPE_MONEY, 0, "money!", list);
}

}  // namespace xol::money
