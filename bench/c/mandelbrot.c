/* mandelbrot: the set as a portable bitmap (P4), 50 iterations, escape radius 2. */
#include <stdio.h>
#include <stdlib.h>

int main(int argc, char **argv) {
    int n = argc > 1 ? atoi(argv[1]) : 200;
    printf("P4\n%d %d\n", n, n);
    int bits = 0, bit_count = 0;
    for (int y = 0; y < n; y++) {
        for (int x = 0; x < n; x++) {
            double cr = 2.0 * x / n - 1.5, ci = 2.0 * y / n - 1.0;
            double zr = 0, zi = 0, tr = 0, ti = 0;
            int i = 0;
            while (i < 50 && tr + ti <= 4.0) {
                zi = 2.0 * zr * zi + ci;
                zr = tr - ti + cr;
                tr = zr * zr;
                ti = zi * zi;
                i++;
            }
            bits = bits << 1 | (tr + ti <= 4.0);
            bit_count++;
            if (bit_count == 8) {
                putchar(bits);
                bits = bit_count = 0;
            }
        }
        if (bit_count > 0) {
            putchar(bits << (8 - bit_count));
            bits = bit_count = 0;
        }
    }
    return 0;
}
