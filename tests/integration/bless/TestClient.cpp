// Stands for the application in the installer's tests: signed like it after linking.
int main() {
  return 0;
}
