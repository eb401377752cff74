// Amounts: a long value read and written as the number it holds under a
// radix word, its digits grouped where the radix changes, so that a sterling
// amount reads as pounds, shillings and pence ("157.12.11").
//
// The ten digits of a long value take their radices from the radix word:
// digits 0-4 (the lower half) from its five digits, digits 5-9 (the upper
// half) all from its digit 4, as the upper radix gives them. When all ten
// radices are equal the value is one group. Otherwise, counting from digit
// 0 up, a group runs on through decimal digits and ends after a digit whose
// radix is not ten: pence (radix 12) stand alone, shilling units (10) and
// tens (2) make one group of 0-19, the pounds take the decimal digits above.
// Each group is written in decimal, most significant group first, groups
// joined by "."; a negative value (sign bit 20 of the upper half) has a "-"
// in front.
#pragma once

#include <cstdint>
#include <string>

// The radix (1-16) of each of the ten digit positions under radix word r.
void digit_radices(int r, int rad[10]);

// Number of groups under radix word r (1 to 10), and the first digit
// position of each, lowest group first.
int amount_groups(int r, int first[11]);

// The text of the sign-and-magnitude long value (up, lo) under radix word r.
// Returns false when a digit is not below its radix; the text is then
// formed all the same, each group from its digits as they stand.
bool amount_text(int32_t up, int32_t lo, int r, std::string& text);

// Reads an amount written as amount_text() writes it (a group count equal
// to the radix word's; blanks around the text allowed) into the
// sign-and-magnitude long value (up, lo). Returns "" or what is wrong.
std::string amount_value(const std::string& text, int r, int32_t& up, int32_t& lo);
