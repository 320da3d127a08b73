def main():
    s = ""
    for _ in range(1000000):
        s += "abc"
    print(len(s))

main()
