// AddressSanitizer reads its default options from this function: report pointer
// subtractions across objects, a null pointer included.
extern "C" const char* __asan_default_options();

extern "C" const char* __asan_default_options()
{
    return "detect_invalid_pointer_pairs=2";
}
