/* binary-trees with malloc/free: the reference for the collector's figures. */
#include <stdio.h>
#include <stdlib.h>

typedef struct Node { struct Node *left, *right; } Node;

static Node *make(int depth) {
    Node *n = malloc(sizeof(Node));
    if (depth == 0) { n->left = n->right = NULL; return n; }
    n->left = make(depth - 1);
    n->right = make(depth - 1);
    return n;
}

static int check(Node *n) {
    return n->left ? 1 + check(n->left) + check(n->right) : 1;
}

static void drop(Node *n) {
    if (n->left) { drop(n->left); drop(n->right); }
    free(n);
}

int main(int argc, char **argv) {
    int n = argc > 1 ? atoi(argv[1]) : 10;
    int max_depth = n < 6 ? 6 : n;
    int stretch = max_depth + 1;
    Node *s = make(stretch);
    printf("stretch tree of depth %d\t check: %d\n", stretch, check(s));
    drop(s);
    Node *long_lived = make(max_depth);
    for (int depth = 4; depth <= max_depth; depth += 2) {
        int iterations = 1 << (max_depth - depth + 4);
        int sum = 0;
        for (int i = 0; i < iterations; i++) {
            Node *t = make(depth);
            sum += check(t);
            drop(t);
        }
        printf("%d\t trees of depth %d\t check: %d\n", iterations, depth, sum);
    }
    printf("long lived tree of depth %d\t check: %d\n", max_depth, check(long_lived));
    return 0;
}
