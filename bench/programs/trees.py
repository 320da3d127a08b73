def make_tree(depth):
    return () if depth == 0 else (make_tree(depth - 1), make_tree(depth - 1))

def check(tree):
    return 1 if not tree else 1 + check(tree[0]) + check(tree[1])

def main():
    total = 0
    for _ in range(4):
        total = total + check(make_tree(16))
    print(total)

main()
