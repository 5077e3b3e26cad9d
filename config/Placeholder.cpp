namespace sequora {}
