def apply_each(f, items):
    total = 0
    for item in items:
        total = total + f(item)
    return total

def square_mod(x):
    return x % 1000 * x % 1000

def main():
    items = []
    for i in range(1, 1000001):
        items.append(i)
    print(apply_each(square_mod, items))

main()
