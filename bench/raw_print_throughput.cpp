// Prints one file raw and reports how long SendFileToPrinter took; scripts/bench-raw-print
// runs it next to "lp -o raw" of the same file.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <string>

#include "PrintRawData.h"
#include "logging/logog.h"

int main() {
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (arguments == nullptr || count != 3) {
        std::fprintf(stderr, "usage: bench_raw_print FILE PRINTER\n");
        return 2;
    }
    logog::InitializeFramework();  // no target: the job's log lines go nowhere
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    bool printed = SendFileToPrinter(arguments[1], L"Throughput", L"RAW", arguments[2]);
    QueryPerformanceCounter(&end);
    std::printf("%s %.3f\n", printed ? "printed" : "failed",
                static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart));
    logog::ShutdownFramework();
    LocalFree(arguments);
    return printed ? 0 : 1;
}
