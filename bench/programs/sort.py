def main():
    b = []
    x = 1
    for _ in range(300000):
        x = (x * 75 + 74) % 65537
        b.append(x)
    b.sort()
    print(b[0], b[-1])

main()
