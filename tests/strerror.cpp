// Prints the C library's text for each error number given, one a line. It
// is linked like the tool, so that the tests expect the words of the
// library the tool was linked with.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

int main(int argc, char **argv)
{
    for (int i = 1; i < argc; i++)
        puts(strerror(atoi(argv[i])));
    return 0;
}
