// The pointer checks of automation methods: an out-pointer must be writable (an in-pointer
// readable) for the argument's size, else E_POINTER is thrown with the method's message,
// formatted with the pointer's value by "%x".
#pragma once

#include <cstddef>

void CheckWritable(const void* pointer, std::size_t size, const wchar_t* messageFormat);
void CheckReadable(const void* pointer, std::size_t size, const wchar_t* messageFormat);
