/* few-live: much allocation with few objects live. A ring of 64 items (each with a
 * text and an array, some arrays large) is replaced round after round while
 * short-lived texts and nodes come and go; the live items are checked every round.
 * Then a list of `nodes` nodes is built and dropped, and the ring runs on twice. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

typedef struct {
    long *data;
    size_t length, capacity;
} Values;

typedef struct {
    char *name;
    Values values;
    long n;
} Item;

typedef struct Node {
    struct Node *next;
    long n;
} Node;

static void append(Values *v, long x) {
    if (v->length == v->capacity) {
        v->capacity = v->capacity < 4 ? 4 : v->capacity * 2;
        v->data = realloc(v->data, v->capacity * sizeof(long));
    }
    v->data[v->length++] = x;
}

static char *text(const char *format, long a, long b) {
    char buf[64];
    int n = snprintf(buf, sizeof buf, format, a, b);
    char *s = malloc(n + 1);
    memcpy(s, buf, n + 1);
    return s;
}

static void drop(Item *item) {
    free(item->name);
    free(item->values.data);
    free(item);
}

/* `rounds` rounds of the ring; gives a checksum of what the live items held. */
static long churn(Item **ring, long rounds, long first) {
    long sum = 0;
    for (long i = first; i < first + rounds; i++) {
        int k = i % 64;
        long size = i % 16 == 0 ? 3000 : 10;
        Values values = {0};
        for (long j = 0; j < size; j++) append(&values, i + j);
        Item *old = ring[k];
        if (old) {
            char *want = text("item %ld", i - 64, 0);
            long len = old->values.length;
            int same = old->n == i - 64 && strcmp(old->name, want) == 0 &&
                       old->values.data[len - 1] == old->n + len - 1;
            free(want);
            if (!same) {
                printf("round %ld: item %ld was overwritten\n", i, old->n);
                return -1;
            }
            sum += old->n % 7;
            drop(old);
        }
        Item *item = malloc(sizeof(Item));
        item->name = text("item %ld", i, 0);
        item->values = values;
        item->n = i;
        ring[k] = item;
        for (long t = 0; t < 8; t++) {
            char *s = text("tmp %ld %ld", t, i);
            long bytes = strlen(s);
            Node *node = malloc(sizeof(Node));
            node->next = NULL;
            node->n = bytes;
            sum += node->n - bytes;
            free(node);
            free(s);
        }
    }
    return sum;
}

static long peak(long nodes) {
    Node *head = malloc(sizeof(Node));
    head->next = NULL;
    head->n = 0;
    for (long i = 1; i < nodes; i++) {
        Node *n = malloc(sizeof(Node));
        n->next = head;
        n->n = i;
        head = n;
    }
    long count = 0;
    for (Node *cur = head; cur; cur = cur->next) count++;
    while (head) {
        Node *next = head->next;
        free(head);
        head = next;
    }
    return count;
}

int main(int argc, char **argv) {
    long rounds = argc > 1 ? atol(argv[1]) : 1000000;
    long nodes = argc > 2 ? atol(argv[2]) : 1000000;
    Item *ring[64] = {0};
    printf("few live: checksum %ld\n", churn(ring, rounds, 0));
    printf("peak of %ld nodes\n", peak(nodes));
    long settle = churn(ring, rounds, rounds);
    printf("after the peak: checksum %ld %ld\n", settle, churn(ring, rounds, 2 * rounds));
    for (int k = 0; k < 64; k++)
        if (ring[k]) drop(ring[k]);
    return 0;
}
