// CRC-16 of member data (reflected polynomial 0xA001, initial value 0, no final inversion).
#pragma once
#include <cstddef>
#include <cstdint>

// Folds count bytes into the running value crc and returns the new value.
// Feeding data in pieces gives the same result as feeding it at once.
uint16_t Crc16Update(uint16_t crc, const void *data, std::size_t count);
