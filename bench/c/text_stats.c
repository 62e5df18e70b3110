/* text-stats: statistics over generated comma-separated text: the text is cut into
   lines and fields (each piece a copy, as a split gives), fields are searched, lines
   rewritten with a replace. */
#define _GNU_SOURCE
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

typedef struct { char *data; size_t len; } Str;
typedef struct { Str *items; size_t len, cap; } Parts;

static uint64_t seed = 42;

static uint64_t next_random(void) {
    seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
    return seed >> 33;
}

static void append(char **buf, size_t *len, size_t *cap, const char *s, size_t n) {
    if (*len + n > *cap) {
        while (*len + n > *cap) *cap = *cap ? *cap * 2 : 64;
        *buf = realloc(*buf, *cap);
    }
    memcpy(*buf + *len, s, n);
    *len += n;
}

static Str make_text(int lines) {
    static const char *words[] = {"alpha", "beta", "gamma", "delta", "epsilon", "zeta", "eta", "theta"};
    char *buf = NULL, num[24];
    size_t len = 0, cap = 0;
    for (int i = 0; i < lines; i++) {
        uint64_t fields = 4 + next_random() % 16;
        for (uint64_t f = 0; f < fields; f++) {
            if (f > 0) append(&buf, &len, &cap, ",", 1);
            const char *w = words[next_random() % 8];
            append(&buf, &len, &cap, w, strlen(w));
            int n = snprintf(num, sizeof num, "%llu", (unsigned long long)(next_random() % 1000));
            append(&buf, &len, &cap, num, (size_t)n);
        }
        append(&buf, &len, &cap, "\n", 1);
    }
    return (Str){buf, len};
}

static void push(Parts *p, const char *data, size_t len) {
    if (p->len == p->cap) {
        p->cap = p->cap ? p->cap * 2 : 8;
        p->items = realloc(p->items, p->cap * sizeof(Str));
    }
    char *copy = malloc(len + 1);
    memcpy(copy, data, len);
    copy[len] = 0;
    p->items[p->len++] = (Str){copy, len};
}

/* The pieces between occurrences of a one-byte separator, each a copy. */
static Parts split(Str s, char sep) {
    Parts p = {0};
    size_t start = 0;
    for (;;) {
        const char *at = memchr(s.data + start, sep, s.len - start);
        if (!at) break;
        size_t end = (size_t)(at - s.data);
        push(&p, s.data + start, end - start);
        start = end + 1;
    }
    push(&p, s.data + start, s.len - start);
    return p;
}

static void release(Parts *p) {
    for (size_t i = 0; i < p->len; i++) free(p->items[i].data);
    free(p->items);
}

static long index_of(Str s, const char *sub) {
    const char *at = memmem(s.data, s.len, sub, strlen(sub));
    return at ? (long)(at - s.data) : -1;
}

/* Every `from` byte replaced by `to`, in a new text. */
static Str replace(Str s, char from, const char *to) {
    size_t count = 0, tl = strlen(to);
    for (const char *p = s.data; (p = memchr(p, from, (size_t)(s.data + s.len - p))); p++) count++;
    size_t len = s.len - count + count * tl;
    char *out = malloc(len + 1), *o = out;
    size_t start = 0;
    for (;;) {
        const char *at = memchr(s.data + start, from, s.len - start);
        if (!at) break;
        size_t end = (size_t)(at - s.data);
        memcpy(o, s.data + start, end - start);
        o += end - start;
        memcpy(o, to, tl);
        o += tl;
        start = end + 1;
    }
    memcpy(o, s.data + start, s.len - start);
    out[len] = 0;
    return (Str){out, len};
}

int main(int argc, char **argv) {
    int lines = argc > 1 ? atoi(argv[1]) : 200000;
    int passes = argc > 2 ? atoi(argv[2]) : 5;
    Str text = make_text(lines);
    long rows = 0, fields = 0, sevens = 0, found = 0, bytes = 0;
    for (int pass = 0; pass < passes; pass++) {
        Parts all = split(text, '\n');
        for (size_t i = 0; i < all.len; i++) {
            Str line = all.items[i];
            if (line.len == 0) continue;
            rows++;
            Parts parts = split(line, ',');
            fields += (long)parts.len;
            for (size_t k = 0; k < parts.len; k++)
                if (memchr(parts.items[k].data, '7', parts.items[k].len)) sevens++;
            release(&parts);
            long at = index_of(line, "theta99");
            if (at >= 0) found += at;
            Str r = replace(line, ',', ", ");
            bytes += (long)r.len;
            free(r.data);
        }
        release(&all);
    }
    printf("rows %ld fields %ld sevens %ld found %ld bytes %ld\n", rows, fields, sevens, found, bytes);
    free(text.data);
    return 0;
}
