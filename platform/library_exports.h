#pragma once
// How the library shows its entry points to the system's loader. Callers on Windows look
// them up by their GBK names: there each entry carries those bytes as its symbol, while the
// source keeps the UTF-8 name. Elsewhere the UTF-8 name is the symbol.
#if defined(_WIN32)
#define VELKOR_EXPORT extern "C" __declspec(dllexport)
#define VELKOR_EXPORT_NAME(gbk) __asm__(gbk)
#else
#define VELKOR_EXPORT extern "C" __attribute__((visibility("default")))
#define VELKOR_EXPORT_NAME(gbk)
#endif
