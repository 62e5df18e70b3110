/* live-heap: a tree of about two million nodes stays alive while short-lived trees
 * come and go; now and then a leaf of the old tree is replaced by a new small tree. */
#include <stdio.h>
#include <stdlib.h>
#include <stdint.h>

typedef struct Node {
    struct Node *left, *right;
} Node;

static Node *make(int depth) {
    Node *n = malloc(sizeof(Node));
    if (depth > 0) {
        n->left = make(depth - 1);
        n->right = make(depth - 1);
    } else {
        n->left = n->right = NULL;
    }
    return n;
}

static int check(const Node *n) {
    return n->left ? 1 + check(n->left) + check(n->right) : 1;
}

static void release(Node *n) {
    if (n->left) {
        release(n->left);
        release(n->right);
    }
    free(n);
}

static void replace(Node *root, uint64_t path, int depth) {
    Node *n = root;
    uint64_t bits = path;
    for (int d = 1; d < depth; d++) {
        Node *next = (bits & 1) ? n->right : n->left;
        if (!next) return;
        n = next;
        bits >>= 1;
    }
    Node **slot = (bits & 1) ? &n->right : &n->left;
    release(*slot);
    *slot = make(2);
}

int main(int argc, char **argv) {
    long rounds = argc > 1 ? atol(argv[1]) : 100000;
    int live_depth = argc > 2 ? atoi(argv[2]) : 20;
    Node *live = make(live_depth);
    long total = 0;
    uint64_t seed = 12345;
    for (long i = 0; i < rounds; i++) {
        Node *t = make(8);
        total += check(t);
        release(t);
        if (i % 16 == 0) {
            seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
            replace(live, seed >> 40, live_depth - 2);
        }
    }
    printf("short-lived nodes checked: %ld\n", total);
    printf("live tree check: %d\n", check(live));
    return 0;
}
